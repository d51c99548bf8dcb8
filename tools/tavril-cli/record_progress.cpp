#include "record_progress.h"

#include "files/number_text.h"

namespace tavril::cli {

std::string SizeText(std::uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (value < 1e6) return FormatFixed(value / 1e3, 1) + " Ko";
  if (value < 1e9) return FormatFixed(value / 1e6, 1) + " Mo";
  return FormatFixed(value / 1e9, 1) + " Go";
}

std::string ProgressText(double seconds, std::uint64_t samples, std::uint64_t bytes,
                         std::optional<std::uint64_t> freeBytes) {
  std::string text = "Enregistrement : " + FormatFixed(seconds, 1) + " s, " +
                     std::to_string(samples) + " échantillons par voie, fichier " + SizeText(bytes);
  if (freeBytes) text += ", " + SizeText(*freeBytes) + " libres";
  return text;
}

}  // namespace tavril::cli
