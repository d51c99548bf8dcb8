#include "spectrum_command.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <vector>

#include "cli_files.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

// Why `record` has no spectrum, or nothing when it has one.
std::string Refusal(const ChannelRecord& record, const std::string& path) {
  if (!(record.rate > 0) || !std::isfinite(record.rate)) {
    return "L'enregistrement n'a pas de fréquence d'échantillonnage valide : " + path;
  }
  if (record.sampleCount() < kMinBlock) {
    return "Trop peu d'échantillons pour un spectre (au moins 16) : " + path;
  }
  if (!std::all_of(record.samples().begin(), record.samples().end(),
                   [](double x) { return std::isfinite(x); })) {
    return "L'enregistrement contient des échantillons non finis : " + path;
  }
  return {};
}

std::string SlotList(const std::vector<InputRecord>& records) {
  std::string list;
  for (const InputRecord& input : records) {
    if (!list.empty()) list += ", ";
    list += std::to_string(input.slot.value_or(0));
  }
  return list;
}

// The record of `records` (those of `path`) that `channel` names, or that
// is alone; else why none is.
std::string Choose(const std::vector<InputRecord>& records, std::optional<int> channel,
                   const std::string& path, const InputRecord*& chosen) {
  if (records.empty()) return "Aucun canal dans le fichier : " + path;
  if (!channel) {
    if (records.size() == 1) {
      chosen = &records.front();
      return {};
    }
    return "Le fichier contient plusieurs canaux (" + SlotList(records) +
           ") : choisissez-en un avec --channel N : " + path;
  }
  if (!records.front().slot)
    return "--channel ne s'applique qu'à un fichier de plusieurs canaux : " + path;
  for (const InputRecord& input : records) {
    if (input.slot == channel) chosen = &input;
  }
  if (chosen != nullptr) return {};
  return "Le canal " + std::to_string(*channel) +
         " n'est pas dans le fichier (canaux : " + SlotList(records) + ") : " + path;
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
  std::vector<InputRecord> records;
  if (!LoadInputRecords(command.input, records, err)) return 1;
  const InputRecord* chosen = nullptr;
  if (const std::string refusal = Choose(records, command.channel, command.input, chosen);
      !refusal.empty()) {
    ReportError(err, refusal);
    return 1;
  }
  const ChannelRecord& record = chosen->record;
  if (const std::string refusal = Refusal(record, command.input); !refusal.empty()) {
    ReportError(err, refusal);
    return 1;
  }
  const SpectrumRequest& request = command.spectrum;
  const Spectrum spectrum = ComputeSpectrum(record.samples(), record.rate, request.window,
                                            request.blockSize, request.maxBlocks);
  out << (request.csv ? SpectrumCsv(spectrum) : SpectrumSummary(spectrum, request.window));
  return 0;
}

}  // namespace tavril::cli
