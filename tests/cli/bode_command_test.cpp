#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

using Args = std::vector<std::string>;
const Args kSweep = {"bode",   "-o",  "1",    "--stimulus", "6",        "--response", "7",
                     "--from", "500", "--to", "2000",       "--points", "3"};

Args With(std::initializer_list<std::string> more) {
  Args args = kSweep;
  args.insert(args.end(), more);
  return args;
}

TEST(CliBode, ReadsItsOptionsAndRefusesWhatIsNotASweep) {
  const ParsedArguments parsed = ParseArguments(With({"--amplitude", "2.5", "--csv"}));
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.command.kind, CommandKind::kBode);
  EXPECT_EQ(parsed.command.bode, (BodeRequest{1, 6, 7, 500, 2000, 3, 2.5, true}));
  EXPECT_EQ(parsed.command.output, "");  // -o is an output number here, not a file

  const struct {
    Args args;
    const char* error;
  } refused[] = {
      {{"bode", "-o", "1", "--stimulus", "6", "--response", "7", "--from", "1", "--to", "2"},
       "La commande bode attend --points N"},
      {With({"-o"}), "L'option -o attend un numéro de sortie analogique"},
      {With({"--output", "0"}), "La sortie analogique est donnée plusieurs fois"},
      {{"bode", "-o", "1", "--stimulus", "6", "--response", "7", "--from", "1", "--to", "2",
        "--points", "1"},
       "Nombre de points non valide : 1 (de 2 à 10000)"},
  };
  for (const auto& c : refused) EXPECT_EQ(ParseArguments(c.args).error, c.error);
}

TEST(CliBode, CsvColumnsReadBackAsTheTestCircuitsResponse) {
  std::ostringstream out, err;
  ASSERT_EQ(RunCli(With({"--csv"}), out, err), 0) << err.str();
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "frequence_hz,gain_db,phase_deg");
  const double expectedHz[] = {500, 1000, 2000};
  for (const double hz : expectedHz) {
    ASSERT_TRUE(std::getline(lines, line));
    double fields[3];
    std::size_t at = 0;
    for (double& field : fields) {
      const ParsedDouble parsed = ParseDecimalDouble(std::string_view(line).substr(at));
      field = parsed.value;
      at += parsed.consumed + 1;
    }
    EXPECT_EQ(at, line.size() + 1) << line;
    const double w0 = 2 * std::numbers::pi * 1000;
    const std::complex<double> s(0, 2 * std::numbers::pi * hz);
    const std::complex<double> h = w0 * w0 / (s * s + (w0 / 2) * s + w0 * w0);
    EXPECT_EQ(fields[0], hz);
    EXPECT_NEAR(fields[1], 20 * std::log10(std::abs(h)), 0.1);
    EXPECT_NEAR(fields[2], std::arg(h) * 180 / std::numbers::pi, 1.0);
  }
  EXPECT_FALSE(std::getline(lines, line));
}

}  // namespace
}  // namespace tavril::cli
