#include "acquisition/frequency_sweep_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/frequency_response_text.h"

namespace tavril {
namespace {

TEST(SweepFields, ReadBackTheSettingsTheyShow) {
  SweepSettings settings;
  settings.outputs = {0, 1};
  settings.fromHz = 2.5;
  settings.pointsPerDecade = 12.5;
  settings.settlingPeriods = 0;
  SweepSettings read;
  ASSERT_EQ(ReadSweepFields(FieldsOf(settings), read), "");
  EXPECT_EQ(read.outputs, settings.outputs);
  EXPECT_EQ(SweepFrequencies(read), SweepFrequencies(settings));
  EXPECT_EQ(read.settlingPeriods, 0.0);

  SweepFields typed = FieldsOf(SweepSettings{});
  typed.amplitude = " 0,5 ";  // a decimal comma is a point
  typed.linear = true;
  ASSERT_EQ(ReadSweepFields(typed, read), "");
  EXPECT_EQ(read.amplitude, 0.5);
  EXPECT_EQ(read.spacing, FrequencySpacing::kLinear);
}

// Each refusal names the field and says what it must hold; the settings
// stay as they were.
TEST(SweepFields, RefusalsNameTheFieldAndWhy) {
  struct Case {
    std::string SweepFields::*field;
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {&SweepFields::outputs, "1;2",
       "Le champ « Sorties » doit contenir les numéros des sorties, séparés par des virgules "
       "(par exemple 1 ou 0, 1)."},
      {&SweepFields::outputs, "", "Le champ « Sorties » doit contenir les numéros"},
      {&SweepFields::response, "-1",
       "Le champ « Entrée de réponse » doit contenir un numéro d'entrée (0, 1, 2 ...)."},
      {&SweepFields::fromHz, "0", "Le champ « De (Hz) » doit contenir une fréquence positive."},
      {&SweepFields::toHz, "1e3x", "Le champ « À (Hz) » doit contenir une fréquence positive."},
      {&SweepFields::toHz, "5", "La fréquence « À » doit être au moins celle de « De »"},
      {&SweepFields::amplitude, "-1",
       "Le champ « Amplitude (V crête) » doit contenir une tension positive."},
      {&SweepFields::settlingPeriods, "-0.5",
       "Le champ « Périodes d'attente » doit contenir un nombre de périodes positif ou nul."},
      {&SweepFields::measuringPeriods, "0.5",
       "Le champ « Périodes mesurées » doit contenir un nombre de périodes d'au moins 1."},
      {&SweepFields::points, "1",
       "Le champ « Points » doit contenir un nombre entier de points, au moins 2."},
      {&SweepFields::points, "2.5", "Le champ « Points » doit contenir un nombre entier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SweepFields fields = FieldsOf(SweepSettings{});
    fields.*c.field = c.text;
    SweepSettings settings;
    settings.amplitude = 2.0;
    EXPECT_EQ(ReadSweepFields(fields, settings).rfind(c.why, 0), 0u)
        << ReadSweepFields(fields, settings);
    EXPECT_EQ(settings.amplitude, 2.0);
  }
  SweepFields perDecade = FieldsOf(SweepSettings{});
  perDecade.pointsPerDecade = true;
  perDecade.linear = true;
  SweepSettings settings;
  EXPECT_EQ(ReadSweepFields(perDecade, settings).rfind("Des points par décade", 0), 0u);
}

TEST(FrequencyResponseText, CsvHoldsExactDecimalsAndTheMarkerRoundsThem) {
  FrequencyPoint point;
  point.hz = 1000.0000000000001;
  point.gainDb = -3.0102999566398121;
  point.phaseDegrees = -90.5;
  const std::vector<FrequencyPoint> points = {point};
  EXPECT_EQ(FrequencyResponseCsv(points),
            "frequence_hz,gain_db,phase_deg\n1000.0000000000001,-3.010299956639812,-90.5\n");
  EXPECT_EQ(FrequencyPointText(point), "1000.0 Hz : gain -3.010 dB, phase -90.50°");
  point.hz = 12.5;
  point.clipped = true;
  EXPECT_EQ(FrequencyPointText(point), "12.500 Hz : gain -3.010 dB, phase -90.50° (écrêtée)");
}

}  // namespace
}  // namespace tavril
