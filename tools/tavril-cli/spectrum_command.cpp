#include "spectrum_command.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <vector>

#include "cli_files.h"
#include "input_channels.h"
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

// The channel of `file` (at `path`) that `channel` names, or that is alone;
// else why none is.
std::string Choose(const InputFile& file, std::optional<int> channel, const std::string& path,
                   const InputChannel*& chosen) {
  const std::vector<InputChannel>& channels = file.channels;
  if (channels.empty()) return "Aucun canal dans le fichier : " + path;
  if (!channel) {
    if (channels.size() == 1) {
      chosen = &channels.front();
      return {};
    }
    return "Le fichier contient plusieurs canaux (" + SlotList(file) +
           ") : choisissez-en un avec --channel N : " + path;
  }
  if (!channels.front().slot)
    return "--channel ne s'applique qu'à un fichier de plusieurs canaux : " + path;
  for (const InputChannel& input : channels) {
    if (input.slot == channel) chosen = &input;
  }
  if (chosen != nullptr) return {};
  return "Le canal " + std::to_string(*channel) +
         " n'est pas dans le fichier (canaux : " + SlotList(file) + ") : " + path;
}

// The spectrum of `channel`'s samples within the command's --between, or
// why it has none (reported).
bool ShowSpectrum(const CommandLine& command, const InputChannel& channel, std::ostream& out,
                  std::ostream& err) {
  const ChannelRecord& whole = *channel.record;
  std::optional<ChannelRecord> part;
  if (command.between) {
    part = RecordOfRange(whole, RangeOf(command.between, whole.sampleCount(), whole.rate));
  }
  const ChannelRecord& record = part ? *part : whole;
  if (const std::string refusal = Refusal(record, command.input); !refusal.empty()) {
    ReportError(err, refusal);
    return false;
  }
  const SpectrumRequest& request = command.spectrum;
  const Spectrum spectrum = ComputeSpectrum(record.samples(), record.rate, request.window,
                                            request.blockSize, request.maxBlocks);
  out << (request.csv ? SpectrumCsv(spectrum) : SpectrumSummary(spectrum, request.window));
  return true;
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
  InputFile file;
  if (!OpenInput(command.input, file, err)) return 1;
  std::vector<const InputChannel*> chosen;
  if (command.slots) {
    if (!SelectChannels(file, command.slots, command.input, chosen, err)) return 1;
  } else {
    const InputChannel* one = nullptr;
    if (const std::string refusal = Choose(file, command.channel, command.input, one);
        !refusal.empty()) {
      ReportError(err, refusal);
      return 1;
    }
    chosen.push_back(one);
  }
  // Several channels: each one's spectrum after its slot, apart by an empty line.
  const bool several = chosen.size() > 1;
  int status = 0;
  for (const InputChannel* channel : chosen) {
    if (several) {
      if (channel != chosen.front()) out << '\n';
      out << "Canal: " << *channel->slot << '\n';
    }
    if (!ShowSpectrum(command, *channel, out, err)) status = 1;
  }
  return status;
}

}  // namespace tavril::cli
