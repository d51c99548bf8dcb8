#include "files/samples_memory.h"

#include <limits>

#include "model/allocation.h"
#include "text/size_text.h"

namespace tavril {
namespace {

constexpr std::uint64_t kMaxValues = std::numeric_limits<std::uint64_t>::max() / sizeof(double);

}  // namespace

bool SamplesFitInMemory(std::uint64_t values) {
  return values <= std::numeric_limits<std::size_t>::max() / sizeof(double) &&
         FitTogether({static_cast<std::size_t>(values) * sizeof(double)});
}

std::string SamplesMemoryRefusal(std::uint64_t values) {
  const std::uint64_t bytes =
      values <= kMaxValues ? values * sizeof(double) : std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t available = AvailableMemoryBytes();
  std::string text = "la mémoire ne peut pas contenir les " + std::to_string(values) +
                     " valeurs du fichier (" + SizeText(bytes);
  if (available < bytes) text += ", " + SizeText(available) + " disponibles";
  return text + ")";
}

}  // namespace tavril
