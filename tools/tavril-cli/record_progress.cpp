#include "record_progress.h"

#include "text/number_text.h"
#include "text/size_text.h"

namespace tavril::cli {

std::string ProgressText(double seconds, std::uint64_t samples, std::uint64_t bytes,
                         std::optional<std::uint64_t> freeBytes) {
  std::string text = "Enregistrement : " + FormatFixed(seconds, 1) + " s, " +
                     std::to_string(samples) + " échantillons par voie, fichier " + SizeText(bytes);
  if (freeBytes) text += ", " + SizeText(*freeBytes) + " libres";
  return text;
}

}  // namespace tavril::cli
