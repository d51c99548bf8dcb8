#include "cli_option_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

#include "model/channel_record.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

// A whole number within [low, high], written in decimal and nothing else.
bool ReadWhole(std::string_view text, long long low, long long high, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

// A finite number, read as the program reads the panel's fields, with nothing after it.
bool ReadNumber(std::string_view text, double& value) {
  const ParsedDouble parsed = ParseDecimalDouble(text);
  value = parsed.value;
  return parsed.consumed > 0 && parsed.consumed == text.size() && std::isfinite(value);
}

bool ReadRate(std::string_view text, RateFloor floor, double& rate) {
  if (!ReadNumber(text, rate)) return false;
  switch (floor) {
    case RateFloor::kAnyFinite:
      return true;
    case RateFloor::kZeroOrMore:
      return rate >= 0;
    case RateFloor::kAboveZero:
      return rate > 0;
  }
  return false;
}

std::string Refused(std::string_view what, std::string_view text, std::string_view hint = {}) {
  std::string message = std::string(what) + " non valide : " + std::string(text);
  if (!hint.empty()) message += " (" + std::string(hint) + ")";
  return message;
}

}  // namespace

std::string ReadChannels(std::string_view text, int& firstChannel, int& lastChannel) {
  long long first = 0;
  long long last = 0;
  const std::size_t dash = text.find('-');
  const bool read = dash == std::string_view::npos
                        ? ReadWhole(text, 0, kChannelCount - 1, first)
                        : ReadWhole(text.substr(0, dash), 0, 0, first) &&
                              ReadWhole(text.substr(dash + 1), 0, kChannelCount - 1, last);
  if (!read) return "Voies non valides : " + std::string(text) + " (une voie de 0 à 7, ou 0-N)";
  firstChannel = static_cast<int>(first);
  lastChannel = static_cast<int>(dash == std::string_view::npos ? first : last);
  return {};
}

std::string ReadGain(std::string_view text, std::int16_t& gain) {
  long long whole = 0;
  if (!ReadWhole(text, std::numeric_limits<std::int16_t>::min(),
                 std::numeric_limits<std::int16_t>::max(), whole)) {
    return Refused("Gain", text);
  }
  gain = static_cast<std::int16_t>(whole);
  return {};
}

std::string ReadPointCount(std::string_view text, std::uint32_t& count) {
  long long whole = 0;
  if (!ReadWhole(text, 0, std::numeric_limits<std::uint32_t>::max(), whole)) {
    return Refused("Nombre de points", text);
  }
  count = static_cast<std::uint32_t>(whole);
  return {};
}

std::string ReadSampleRate(std::string_view text, RateFloor floor, double& rate) {
  return ReadRate(text, floor, rate) ? std::string() : Refused("Fréquence d'échantillonnage", text);
}

std::string ReadScanRate(std::string_view text, RateFloor floor, double& rate) {
  return ReadRate(text, floor, rate) ? std::string() : Refused("Fréquence de balayage", text);
}

std::string ReadDuration(std::string_view text, double& seconds) {
  if (ReadRate(text, RateFloor::kAboveZero, seconds)) return {};
  return "Durée non valide : " + std::string(text) + " (en secondes, plus de 0)";
}

std::string ReadTrigger(std::string_view text, int firstChannel, int lastChannel,
                        std::optional<RecordTrigger>& trigger) {
  const std::string refusal = "Déclenchement non valide : " + std::string(text) +
                              " (VOIE:NIVEAU[:rising|falling], sur une voie enregistrée)";
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return refusal;
  RecordTrigger read;
  long long channel = 0;
  if (!ReadWhole(text.substr(0, colon), 0, kChannelCount - 1, channel)) return refusal;
  read.channel = static_cast<int>(channel);
  std::string_view level = text.substr(colon + 1);
  if (const std::size_t edge = level.find(':'); edge != std::string_view::npos) {
    const std::string_view word = level.substr(edge + 1);
    if (word != "rising" && word != "falling") return refusal;
    read.edge = word == "rising" ? TriggerEdge::kRising : TriggerEdge::kFalling;
    level = level.substr(0, edge);
  }
  const int first = firstChannel == lastChannel ? firstChannel : 0;
  if (!ReadNumber(level, read.level) || read.channel < first || read.channel > lastChannel) {
    return refusal;
  }
  trigger = read;
  return {};
}

std::string ReadInterval(std::string_view fromText, std::string_view toText,
                         std::optional<TimeInterval>& interval) {
  TimeInterval read;
  if (!ReadNumber(fromText, read.from)) return "Temps non valide : " + std::string(fromText);
  if (!ReadNumber(toText, read.to)) return "Temps non valide : " + std::string(toText);
  if (read.from > read.to) return "L'intervalle --between va de T1 à T2 : T1 ne peut dépasser T2";
  interval = read;
  return {};
}

std::string ReadWindow(std::string_view text, SpectrumWindow& window) {
  const std::optional<SpectrumWindow> read = SpectrumWindowFromWord(text);
  if (!read) return "Fenêtre inconnue : " + std::string(text) + " (rectangulaire, hann, flattop)";
  window = *read;
  return {};
}

std::string ReadBlockSize(std::string_view text, std::size_t& blockSize) {
  long long whole = 0;
  if (!ReadWhole(text, 16, 1 << 20, whole) || (whole & (whole - 1)) != 0) {
    return Refused("Taille de bloc", text, "une puissance de deux de 16 à 1048576");
  }
  blockSize = static_cast<std::size_t>(whole);
  return {};
}

std::string ReadBlockCount(std::string_view text, int& blocks) {
  long long whole = 0;
  if (!ReadWhole(text, 1, 1 << 20, whole))
    return Refused("Nombre de blocs", text, "de 1 à 1048576");
  blocks = static_cast<int>(whole);
  return {};
}

std::string ReadSlotList(std::string_view text, std::optional<SlotSelection>& slots) {
  SlotSelection read{};
  std::string_view rest = text;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    const std::size_t dash = item.find('-');
    long long first = 0;
    long long last = 0;
    const bool valid = dash == std::string_view::npos
                           ? ReadWhole(item, 0, kChannelCount - 1, first) && (last = first, true)
                           : ReadWhole(item.substr(0, dash), 0, kChannelCount - 1, first) &&
                                 ReadWhole(item.substr(dash + 1), first, kChannelCount - 1, last);
    if (!valid) {
      return "Liste de canaux non valide : " + std::string(text) +
             " (des canaux de 0 à 7 séparés par des virgules, ou des plages : 0,2-3)";
    }
    for (long long slot = first; slot <= last; ++slot) read[static_cast<std::size_t>(slot)] = true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  slots = read;
  return {};
}

std::string ReadFileChannel(std::string_view text, std::optional<int>& channel) {
  long long whole = 0;
  if (!ReadWhole(text, 0, kChannelCount - 1, whole)) return Refused("Canal", text, "de 0 à 7");
  channel = static_cast<int>(whole);
  return {};
}

std::string ReadBoardChannel(std::string_view text, std::string_view what, int& channel) {
  long long whole = 0;
  if (!ReadWhole(text, 0, 255, whole)) return Refused(what, text, "un numéro de 0 à 255");
  channel = static_cast<int>(whole);
  return {};
}

std::string ReadPositive(std::string_view text, std::string_view what, std::string_view unit,
                         double& value) {
  if (!ReadRate(text, RateFloor::kAboveZero, value)) {
    return Refused(what, text, std::string(unit) + ", plus de 0");
  }
  return {};
}

std::string ReadSweepPoints(std::string_view text, int& points) {
  long long whole = 0;
  if (!ReadWhole(text, 2, 10000, whole)) return Refused("Nombre de points", text, "de 2 à 10000");
  points = static_cast<int>(whole);
  return {};
}

namespace {

struct ShapeWord {
  std::string_view word;
  WaveShape shape;
};
constexpr ShapeWord kShapeWords[] = {{"sine", WaveShape::kSine},
                                     {"square", WaveShape::kSquare},
                                     {"triangle", WaveShape::kTriangle},
                                     {"sawtooth", WaveShape::kRisingSawtooth},
                                     {"dc", WaveShape::kDc},
                                     {"noise", WaveShape::kUniformNoise}};

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t colon = text.find(':'); colon != std::string_view::npos;
       colon = text.find(':')) {
    fields.push_back(text.substr(0, colon));
    text.remove_prefix(colon + 1);
  }
  fields.push_back(text);
  return fields;
}

}  // namespace

std::string ReadGeneratedOutputs(std::span<const std::string> texts,
                                 std::vector<GeneratedOutput>& outputs) {
  std::vector<GeneratedOutput> read;
  for (const std::string& text : texts) {
    const std::string refusal =
        "Sortie non valide : " + text +
        " (SORTIE:FORME:FREQUENCE:AMPLITUDE[:DECALAGE], FORME parmi sine, square, triangle, "
        "sawtooth, dc, noise)";
    const std::vector<std::string_view> fields = Fields(text);
    if (fields.size() != 4 && fields.size() != 5) return refusal;
    GeneratedOutput output;
    long long number = 0;
    if (!ReadWhole(fields[0], 0, 255, number)) return refusal;
    output.output = static_cast<int>(number);
    const auto shape = std::find_if(std::begin(kShapeWords), std::end(kShapeWords),
                                    [&](const ShapeWord& w) { return w.word == fields[1]; });
    if (shape == std::end(kShapeWords)) return refusal;
    output.shape = shape->shape;
    if (!ReadNumber(fields[2], output.frequency) || !ReadNumber(fields[3], output.amplitude) ||
        (fields.size() == 5 && !ReadNumber(fields[4], output.offset))) {
      return refusal;
    }
    for (const GeneratedOutput& earlier : read) {
      if (earlier.output == output.output) {
        return "La sortie " + std::to_string(output.output) + " est donnée deux fois à --generate";
      }
    }
    read.push_back(output);
  }
  outputs = std::move(read);
  return {};
}

}  // namespace tavril::cli
