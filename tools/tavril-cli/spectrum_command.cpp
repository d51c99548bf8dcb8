#include "spectrum_command.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "cli_files.h"
#include "input_channels.h"
#include "model/messages.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

// Why a record of `samples` samples at `rate` has no spectrum, or nothing
// when it may have one.
std::string Refusal(double rate, std::uint64_t samples, const std::string& path) {
  if (!(rate > 0) || !std::isfinite(rate)) {
    return "L'enregistrement n'a pas de fréquence d'échantillonnage valide : " + path;
  }
  if (samples < kMinBlock) return "Trop peu d'échantillons pour un spectre (au moins 16) : " + path;
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
// why it has none (reported). A file read by range is read a block at a time.
bool ShowSpectrum(const CommandLine& command, const InputChannel& channel, std::ostream& out,
                  std::ostream& err) {
  const std::string& path = command.input;
  const double rate = channel.Rate();
  const std::optional<SampleRange> range = RangeOf(command.between, channel.SampleCount(), rate);
  const std::uint64_t samples = range ? std::uint64_t{range->last} - range->first + 1 : 0;
  if (const std::string refusal = Refusal(rate, samples, path); !refusal.empty()) {
    ReportError(err, refusal);
    return false;
  }
  const SpectrumRequest& request = command.spectrum;
  Spectrum spectrum;
  if (channel.reader != nullptr) {
    std::string why;
    const SpectrumSampleReader read = [&](std::uint64_t first, std::span<double> into) {
      return channel.reader->ReadVolts(channel.index, range->first + first, into, &why);
    };
    if (!ComputeSpectrumByRange(read, samples, rate, request.window, request.blockSize,
                                request.maxBlocks, spectrum)) {
      ReportError(err, messages::OpenError(path) + " : " + why);
      return false;
    }
  } else {
    spectrum = ComputeSpectrum(channel.record->samples().subspan(range->first, samples), rate,
                               request.window, request.blockSize, request.maxBlocks);
  }
  // Enough samples at a valid rate: only a sample that is not finite leaves no spectrum.
  if (spectrum.dbv.empty()) {
    ReportError(err, "L'enregistrement contient des échantillons non finis : " + path);
    return false;
  }
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
