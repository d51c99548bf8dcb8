#include "spectrum_command.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "cli_files.h"
#include "files/number_text.h"
#include "processing/spectrum_text.h"

namespace tavril::cli {
namespace {

std::string ShortestText(double value) {
  char digits[kMaxShortestChars];
  return std::string(digits, AppendShortest(digits, value));
}

// Why `record` has no spectrum, or nothing when it has one.
std::string Refusal(const ChannelRecord& record, const std::string& path) {
  if (!(record.rate > 0) || !std::isfinite(record.rate)) {
    return "L'enregistrement n'a pas de fréquence d'échantillonnage valide : " + path;
  }
  if (record.samples.size() < kMinBlock) {
    return "Trop peu d'échantillons pour un spectre (au moins 16) : " + path;
  }
  if (!std::all_of(record.samples.begin(), record.samples.end(),
                   [](double x) { return std::isfinite(x); })) {
    return "L'enregistrement contient des échantillons non finis : " + path;
  }
  return {};
}

}  // namespace

std::string SpectrumSummary(const Spectrum& spectrum, SpectrumWindow window) {
  const std::size_t bins = spectrum.dbv.size();
  std::string text = "Fenêtre : " + std::string(SpectrumWindowWord(window)) + '\n';
  text += "Blocs : " + SpectrumBlocksText(spectrum, false) + '\n';
  text += "Raies : " + std::to_string(bins) + '\n';
  text += "Largeur de raie : " + ShortestText(spectrum.binHz) + " Hz\n";
  text += SpectrumPeakText(spectrum) + '\n';
  return text;
}

int RunSpectrum(const CommandLine& command, std::ostream& out, std::ostream& err) {
  ChannelRecord record;
  if (!LoadRecord(command.input, record, err)) return 1;
  if (const std::string refusal = Refusal(record, command.input); !refusal.empty()) {
    ReportError(err, refusal);
    return 1;
  }
  const SpectrumRequest& request = command.spectrum;
  const Spectrum spectrum = ComputeSpectrum(record.samples, record.rate, request.window,
                                            request.blockSize, request.maxBlocks);
  out << (request.csv ? SpectrumCsv(spectrum) : SpectrumSummary(spectrum, request.window));
  return 0;
}

}  // namespace tavril::cli
