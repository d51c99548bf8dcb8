#include "acquisition/frequency_sweep_fields.h"

#include <cmath>
#include <optional>
#include <string_view>

#include "text/number_text.h"

namespace tavril {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal number filling the whole text.
std::optional<double> Decimal(std::string_view text) {
  std::string number(Trimmed(text));
  for (char& c : number) {
    if (c == ',') c = '.';
  }
  const ParsedDouble parsed = ParseDecimalDouble(number);
  if (number.empty() || parsed.consumed != number.size() || !std::isfinite(parsed.value)) {
    return std::nullopt;
  }
  return parsed.value;
}

// A whole number of at most six digits filling the whole text.
std::optional<int> Whole(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string Field(std::string_view label) {
  return "Le champ « " + std::string(label) + " » ";
}

}  // namespace

SweepFields FieldsOf(const SweepSettings& settings) {
  SweepFields fields;
  for (const int output : settings.outputs) {
    if (!fields.outputs.empty()) fields.outputs += ", ";
    fields.outputs += std::to_string(output);
  }
  fields.stimulus = std::to_string(settings.stimulus);
  fields.response = std::to_string(settings.response);
  fields.fromHz = ShortestText(settings.fromHz);
  fields.toHz = ShortestText(settings.toHz);
  fields.pointsPerDecade = settings.pointsPerDecade > 0.0;
  fields.points = fields.pointsPerDecade ? ShortestText(settings.pointsPerDecade)
                                         : std::to_string(settings.points);
  fields.linear = settings.spacing == FrequencySpacing::kLinear;
  fields.amplitude = ShortestText(settings.amplitude);
  fields.settlingPeriods = ShortestText(settings.settlingPeriods);
  fields.measuringPeriods = ShortestText(settings.measuringPeriods);
  return fields;
}

std::string ReadSweepFields(const SweepFields& fields, SweepSettings& settings) {
  SweepSettings read = settings;
  read.outputs.clear();
  std::string_view list = fields.outputs;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::optional<int> output = Whole(list.substr(0, comma));
    if (!output) {
      return Field("Sorties") +
             "doit contenir les numéros des sorties, séparés par des virgules (par exemple 1 ou "
             "0, 1).";
    }
    read.outputs.push_back(*output);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  const struct {
    const std::string& text;
    int& value;
    const char* label;
  } inputs[] = {{fields.stimulus, read.stimulus, "Entrée de stimulation"},
                {fields.response, read.response, "Entrée de réponse"}};
  for (const auto& input : inputs) {
    const std::optional<int> number = Whole(input.text);
    if (!number) return Field(input.label) + "doit contenir un numéro d'entrée (0, 1, 2 ...).";
    input.value = *number;
  }
  const struct {
    const std::string& text;
    double& value;
    const char* label;
    double least;
    const char* why;  // what the value must be
  } numbers[] = {
      {fields.fromHz, read.fromHz, "De (Hz)", 0.0, "une fréquence positive"},
      {fields.toHz, read.toHz, "À (Hz)", 0.0, "une fréquence positive"},
      {fields.amplitude, read.amplitude, "Amplitude (V crête)", 0.0, "une tension positive"},
      {fields.settlingPeriods, read.settlingPeriods, "Périodes d'attente", -1.0,
       "un nombre de périodes positif ou nul"},
      {fields.measuringPeriods, read.measuringPeriods, "Périodes mesurées", 1.0 - 1e-12,
       "un nombre de périodes d'au moins 1"},
  };
  for (const auto& number : numbers) {
    const std::optional<double> value = Decimal(number.text);
    const bool inRange = value && (number.least < 0.0 ? *value >= 0.0 : *value > number.least);
    if (!inRange) return Field(number.label) + "doit contenir " + number.why + ".";
    number.value = *value;
  }
  if (!(read.toHz >= read.fromHz)) {
    return "La fréquence « À » doit être au moins celle de « De » : le balayage va vers le haut.";
  }
  read.spacing = fields.linear ? FrequencySpacing::kLinear : FrequencySpacing::kLogarithmic;
  if (fields.pointsPerDecade) {
    const std::optional<double> perDecade = Decimal(fields.points);
    if (!perDecade || !(*perDecade > 0.0)) {
      return Field("Points") + "doit contenir un nombre de points par décade positif.";
    }
    if (fields.linear) {
      return "Des points par décade se répartissent sur une échelle logarithmique : choisissez "
             "« Logarithmique » ou un nombre de points en tout.";
    }
    read.pointsPerDecade = *perDecade;
  } else {
    const std::optional<int> count = Whole(fields.points);
    if (!count || *count < 2) {
      return Field("Points") + "doit contenir un nombre entier de points, au moins 2.";
    }
    read.points = *count;
    read.pointsPerDecade = 0.0;
  }
  settings = std::move(read);
  return {};
}

}  // namespace tavril
