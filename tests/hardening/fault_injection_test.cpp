// Every writer fails at every disk step it takes, and every allocation point
// fails in turn: each case checks what the user is told, that the files in
// the folder are exactly as they were (previous file intact, nothing
// half-written under the chosen name, no temporary left) and that no record
// is left with a count its samples do not hold. Each test prints its part of
// the matrix as a Markdown table.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/boards.h"
#include "cli_commands.h"
#include "config/config_file.h"
#include "files/channel_file.h"
#include "files/file_writer.h"
#include "files/matlab_export.h"
#include "files/save_prompt.h"
#include "matrix_table.h"
#include "model/allocation.h"
#include "model/board_config.h"
#include "model/channel_record.h"
#include "model/messages.h"
#include "processing/channel_arithmetic.h"
#include "support/record_checks.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

namespace fs = std::filesystem;
using testing::MatrixTable;
using testing::ReadFileBytes;
using testing::ScriptedUser;
using testing::TempDir;

// Every file of a folder with its bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const TempDir& dir) {
  Snapshot files;
  for (const std::string& name : dir.Entries()) files[name] = ReadFileBytes(dir / name);
  return files;
}

// Names and sizes only: a failure message with megabytes of file content helps nobody.
std::string Describe(const Snapshot& files) {
  std::string text;
  for (const auto& [name, bytes] : files) text += name + " (" + std::to_string(bytes.size()) + ") ";
  return text;
}

// Large() is large enough that its files take two or more write(2) calls of
// the writer's 1 MiB buffer, so that a write can fail after another succeeded.
ChannelRecord Recording(std::size_t count, double phase) {
  ChannelRecord record;
  record.title = "Mesure \xE9t\xE9";
  record.device = 1;
  record.chan = 2;
  record.gain = 1;
  record.rate = 100000.0;
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = 4.0 * std::sin(phase + static_cast<double>(i) * 1e-3);
  }
  record.TakeSamples(samples);
  return record;
}

const ChannelRecord& Large() {
  static const ChannelRecord record = Recording(80000, 0.0);
  return record;
}

const ChannelRecord& Small() {
  static const ChannelRecord record = Recording(5, 1.0);
  return record;
}

bool CountHeld(const ChannelRecord& record) {
  return record.samples().empty() || record.sampleCount() == record.count();
}

std::string BoxTexts(const ScriptedUser& user) {
  std::string texts;
  for (const MessageBoxRequest& box : user.boxes()) {
    if (!texts.empty()) texts += " + ";
    texts += box.text;
  }
  return texts;
}

// What a table cell shows of a message: its control characters made visible.
std::string Cell(const std::string& text) {
  if (text.empty()) return "none";
  std::string cell = "«";
  for (const char c : text) {
    if (c == '\r') {
      cell += "\\r";
    } else if (c == '\n') {
      cell += "\\n";
    } else {
      cell += c;
    }
  }
  return cell + "»";
}

enum class Step { kCreate, kWrite, kSync, kClose, kRename };

// The steps of one AtomicFileWriter run, in order: create, the writes, fsync,
// close, rename.
std::vector<Step> StepsOf(int total) {
  std::vector<Step> steps{Step::kCreate};
  for (int i = 0; i < total - 4; ++i) steps.push_back(Step::kWrite);
  steps.insert(steps.end(), {Step::kSync, Step::kClose, Step::kRename});
  return steps;
}

std::string StepName(const std::vector<Step>& steps, std::size_t index) {
  const int writes = static_cast<int>(steps.size()) - 4;
  switch (steps[index]) {
    case Step::kCreate:
      return "create temporary";
    case Step::kWrite:
      return "write(2) " + std::to_string(index) + " of " + std::to_string(writes);
    case Step::kSync:
      return "fsync";
    case Step::kClose:
      return "close";
    case Step::kRename:
      return "rename";
  }
  return {};
}

struct Outcome {
  bool ok = false;
  std::string seen;  // the boxes' texts, or what the command printed on its error stream
};

struct WriteOperation {
  std::string name;
  std::string target;
  std::string failureResult;  // as the table shows it
  // Puts down an earlier version of the target.
  std::function<void(const TempDir&)> writeOld;
  std::function<Outcome(const TempDir&)> run;
  // What the user is told when `failing` fails and the target did or did not exist.
  std::function<std::string(const TempDir&, Step failing, bool existed)> expectedSeen;
};

void RunWriteMatrix(const WriteOperation& op) {
  MatrixTable table({"operation", "target before", "failing step", "result", "user sees",
                     "folder afterwards", "next attempt"});

  for (const bool existed : {true, false}) {
    TempDir reference;
    if (existed) op.writeOld(reference);
    int total = 0;
    {
      ScopedWriteFailure counter(INT_MAX);
      ASSERT_TRUE(op.run(reference).ok) << op.name;
      total = counter.steps();
    }
    ASSERT_GE(total, 5) << op.name;
    const std::string newBytes = ReadFileBytes(reference / op.target);
    const std::vector<Step> steps = StepsOf(total);

    for (std::size_t index = 0; index < steps.size(); ++index) {
      const int nth = static_cast<int>(index) + 1;
      std::string seen;
      // Once alone (a transient error), once with every later step failing too
      // (the disk stays full).
      for (const bool andAfter : {false, true}) {
        SCOPED_TRACE(op.name + ", " + (existed ? "existing" : "new") + " target, step " +
                     std::to_string(nth) + (andAfter ? " and after" : ""));
        TempDir dir;
        if (existed) op.writeOld(dir);
        const Snapshot before = Take(dir);
        Outcome outcome;
        {
          ScopedWriteFailure failure(nth, andAfter);
          outcome = op.run(dir);
        }
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(op.expectedSeen(dir, steps[index], existed), outcome.seen);
        const Snapshot after = Take(dir);
        EXPECT_TRUE(before == after) << Describe(before) << "became " << Describe(after);
        // The folder's name changes from run to run; the table shows the file's.
        seen = outcome.seen;
        for (std::size_t at; (at = seen.find(dir.path().string() + "/")) != std::string::npos;) {
          seen.erase(at, dir.path().string().size() + 1);
        }
        if (!seen.empty() && seen.back() == '\n') seen.pop_back();

        const Outcome again = op.run(dir);
        EXPECT_TRUE(again.ok);
        EXPECT_EQ(newBytes, ReadFileBytes(dir / op.target));
        Snapshot expected = before;
        expected[op.target] = newBytes;
        const Snapshot written = Take(dir);
        EXPECT_TRUE(expected == written) << Describe(expected) << "became " << Describe(written);
      }
      table.Add({op.name, existed ? "previous file" : "none", StepName(steps, index),
                 op.failureResult, Cell(seen),
                 existed ? "previous file byte for byte, nothing else" : "unchanged, no file",
                 "succeeds"});
    }
  }
  std::cout << table.Markdown();
}

std::string CannotCreateOrAsk(Step failing, bool existed) {
  if (failing == Step::kCreate) return messages::kCannotCreate;
  return existed ? messages::kOverwriteQuestion : "";
}

TEST(WriteFailureMatrix, DataFileSave) {
  RunWriteMatrix({
      "SaveChannelFile",
      "mesure.tvr",
      "0",
      [](const TempDir& dir) {
        ScriptedUser user;
        ASSERT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, dir / "mesure.tvr", Small()));
      },
      [](const TempDir& dir) {
        ScriptedUser user;
        const SaveOutcome result = SaveChannelFile(user, dir / "mesure.tvr", Large());
        return Outcome{result == SaveOutcome::kWritten, BoxTexts(user)};
      },
      [](const TempDir&, Step failing, bool existed) {
        return CannotCreateOrAsk(failing, existed);
      },
  });
}

TEST(WriteFailureMatrix, MatlabExport) {
  RunWriteMatrix({
      "ExportMatlabFile",
      "mesure.m",
      "0",
      [](const TempDir& dir) {
        ScriptedUser user;
        ASSERT_EQ(SaveOutcome::kWritten, ExportMatlabFile(user, dir / "mesure.m", Small()));
      },
      [](const TempDir& dir) {
        ScriptedUser user;
        const SaveOutcome result = ExportMatlabFile(user, dir / "mesure.m", Large());
        return Outcome{result == SaveOutcome::kWritten, BoxTexts(user)};
      },
      [](const TempDir&, Step failing, bool existed) {
        return CannotCreateOrAsk(failing, existed);
      },
  });
}

TEST(WriteFailureMatrix, ConfigurationFile) {
  BoardConfig config = DefaultBoardConfig();
  config.device = 3;
  config.htmlViewer = "/usr/bin/firefox";
  RunWriteMatrix({
      "WriteConfigFile",
      kConfigFileName,
      "0",
      [](const TempDir& dir) { ASSERT_EQ(1, WriteConfigFile(DefaultBoardConfig(), dir.path())); },
      [config](const TempDir& dir) {
        return Outcome{WriteConfigFile(config, dir.path()) == 1, ""};
      },
      [](const TempDir&, Step, bool) { return std::string(); },
  });
}

Outcome RunCliIn(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, out, err);
  return {status == 0, err.str()};
}

// The seam fails fsync and close as an I/O error, the other steps as a full disk.
std::string SaveErrorLine(const fs::path& path, Step failing) {
  const bool io = failing == Step::kSync || failing == Step::kClose;
  return "tavril-cli: Erreur lors de la sauvegarde du fichier : " + path.string() + " : " +
         (io ? "erreur d'entrée-sortie du disque" : "disque plein") + "\n";
}

void PutInput(const TempDir& dir, const std::string& name, const ChannelRecord& record) {
  ScriptedUser user;
  ASSERT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, dir / name, record));
}

// The commands' inputs live in a folder of their own, written once.
TEST(WriteFailureMatrix, CliConvertToCsv) {
  TempDir inputs;
  PutInput(inputs, "in.tvr", Large());
  const std::string input = (inputs / "in.tvr").string();
  RunWriteMatrix({
      "tavril-cli convert → .csv",
      "mesure.csv",
      "exit 1",
      [input](const TempDir& dir) {
        ASSERT_TRUE(RunCliIn({"convert", input, (dir / "mesure.csv").string(), "--force"}).ok);
      },
      [input](const TempDir& dir) {
        return RunCliIn({"convert", input, (dir / "mesure.csv").string(), "--force"});
      },
      [](const TempDir& dir, Step failing, bool) {
        return SaveErrorLine(dir / "mesure.csv", failing);
      },
  });
}

TEST(WriteFailureMatrix, CliMathToDataFile) {
  TempDir inputs;
  PutInput(inputs, "a.tvr", Large());
  PutInput(inputs, "b.tvr", Recording(80000, 2.0));
  const std::string a = (inputs / "a.tvr").string();
  const std::string b = (inputs / "b.tvr").string();
  RunWriteMatrix({
      "tavril-cli math sum → .tvr",
      "somme.tvr",
      "exit 1",
      [](const TempDir& dir) {
        ScriptedUser user;
        ASSERT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, dir / "somme.tvr", Small()));
      },
      [a, b](const TempDir& dir) {
        return RunCliIn({"math", "sum", a, b, "-o", (dir / "somme.tvr").string(), "--force"});
      },
      [](const TempDir& dir, Step failing, bool) {
        return SaveErrorLine(dir / "somme.tvr", failing);
      },
  });
}

// ---- Allocation points ----------------------------------------------------

// How many allocation requests `action` makes when none fails.
int RequestsOf(const std::function<void()>& action) {
  ScopedAllocationFailure counter(INT_MAX);
  action();
  return counter.requests();
}

TEST(AllocationFailureMatrix, LoadingADataFileLeavesTheRecordAsItWas) {
  TempDir dir;
  PutInput(dir, "mesure.tvr", Large());
  const ChannelRecord before = Small();
  ChannelRecord scratch;
  ASSERT_EQ(1, RequestsOf([&] { ASSERT_EQ(1, LoadChannelFile(dir / "mesure.tvr", scratch)); }));

  ChannelRecord record = before;
  {
    ScopedAllocationFailure failure(1);
    EXPECT_EQ(0, LoadChannelFile(dir / "mesure.tvr", record));
  }
  testing::ExpectSameRecord(record, before);
  MatrixTable table({"operation", "failing request", "result", "user sees", "records afterwards"});
  table.Add({"LoadChannelFile", "1 of 1 (samples)", "0", "none (the caller reports)",
             "record unchanged, samples and count as before"});
  std::cout << table.Markdown();
}

TEST(AllocationFailureMatrix, ArithmeticLeavesItsResultWithoutSamples) {
  struct Case {
    const char* name;
    std::function<MathResult(const ChannelRecord&, const ChannelRecord&, ChannelRecord&)> run;
    std::uint32_t resultCount;
  };
  const ChannelRecord a = Recording(1000, 0.0);
  const ChannelRecord b = Recording(1000, 1.0);
  const auto combine = [](MathOperation op) {
    return [op](const ChannelRecord& x, const ChannelRecord& y, ChannelRecord& r) {
      return CombineChannels(x, y, r, op);
    };
  };
  const Case cases[] = {
      {"CombineChannels sum", combine(MathOperation::kSum), 1000},
      {"CombineChannels difference", combine(MathOperation::kDifference), 1000},
      {"CombineChannels product", combine(MathOperation::kProduct), 1000},
      {"CombineChannels quotient", combine(MathOperation::kQuotient), 1000},
      {"IntegrateRectangle",
       [](const ChannelRecord& x, const ChannelRecord&, ChannelRecord& r) {
         return IntegrateRectangle(x, r);
       },
       1000},
      {"IntegrateMidpoint",
       [](const ChannelRecord& x, const ChannelRecord&, ChannelRecord& r) {
         return IntegrateMidpoint(x, r);
       },
       999},
  };
  MatrixTable table({"operation", "failing request", "result", "user sees", "records afterwards"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChannelRecord scratch = Small();
    ASSERT_EQ(1, RequestsOf([&] { ASSERT_EQ(MathResult::kOk, c.run(a, b, scratch)); }));
    ChannelRecord result = Small();
    MathResult code = MathResult::kOk;
    {
      ScopedAllocationFailure failure(1);
      code = c.run(a, b, result);
    }
    EXPECT_EQ(MathResult::kNoMemory, code);
    EXPECT_FALSE(HoldsSamples(result));
    EXPECT_EQ(c.resultCount, result.count());
    EXPECT_TRUE(CountHeld(result));
    testing::ExpectSameRecord(a, Recording(1000, 0.0));
    testing::ExpectSameRecord(b, Recording(1000, 1.0));
    table.Add({c.name, "1 of 1 (result samples)", "MathResult::kNoMemory",
               "none from the core; its callers show «Problème d'allocation mémoire»",
               "operands unchanged; result: new count, no samples"});
  }
  std::cout << table.Markdown();
}

struct Bench {
  Boards boards;
  ScriptedUser user;
  BoardConfig config = DefaultBoardConfig();
  SpareSamples buffers;
  ChannelTable table;

  Bench() {
    AttachSimulatedBoard(boards);
    config.timeOut = -1;
    ResetChannels(table, 1);
    for (ChannelRecord& record : table) record.SetCount(2000);
    table[7] = Small();
  }

  bool Acquire(int first, int last) {
    ChannelSelection selected{};
    for (int i = first; i <= last; ++i) selected[i] = true;
    return AcquireChannels({boards, user, config, buffers}, table, selected, 0.0);
  }
};

TEST(AllocationFailureMatrix, AcquisitionReportsAndKeepsEveryCountHeld) {
  struct Case {
    const char* name;
    int first;
    int last;
    std::vector<std::string> requests;
  };
  const Case cases[] = {
      {"acquire one channel (2)", 2, 2, {"readings", "record samples"}},
      {"acquire scan 0-2",
       0,
       2,
       {"readings", "record 2 samples", "record 1 samples", "record 0 samples"}},
  };
  MatrixTable table({"operation", "failing request", "result", "user sees", "records afterwards"});
  for (const Case& c : cases) {
    {
      Bench counting;
      ASSERT_EQ(static_cast<int>(c.requests.size()),
                RequestsOf([&] { ASSERT_TRUE(counting.Acquire(c.first, c.last)); }))
          << c.name;
    }
    for (std::size_t n = 1; n <= c.requests.size(); ++n) {
      SCOPED_TRACE(std::string(c.name) + ", request " + std::to_string(n));
      Bench bench;
      bool result = true;
      {
        ScopedAllocationFailure failure(static_cast<int>(n));
        result = bench.Acquire(c.first, c.last);
      }
      EXPECT_FALSE(result);
      ASSERT_EQ(1u, bench.user.boxes().size());
      EXPECT_EQ(messages::kAllocationError, bench.user.boxes()[0].text);
      EXPECT_EQ("ERREUR!", bench.user.boxes()[0].caption);
      std::string holding;
      for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_TRUE(CountHeld(bench.table[i])) << "record " << i;
        if (i >= c.first && i <= c.last && HoldsSamples(bench.table[i])) {
          holding += (holding.empty() ? "" : ", ") + std::to_string(i);
        }
      }
      const Bench pristine;
      for (int i = 0; i < kChannelCount; ++i) {
        if (i < c.first || i > c.last) testing::ExpectSameRecord(bench.table[i], pristine.table[i]);
      }
      table.Add({c.name,
                 std::to_string(n) + " of " + std::to_string(c.requests.size()) + " (" +
                     c.requests[n - 1] + ")",
                 "0", Cell(messages::kAllocationError) + " (ERREUR!)",
                 "every count held; acquired records holding samples: " +
                     (holding.empty() ? std::string("none") : holding) +
                     "; other records unchanged"});
    }
  }
  std::cout << table.Markdown();
}

TEST(AllocationFailureMatrix, CliMathTellsWhichStepFailedAndWritesNothing) {
  TempDir dir;
  PutInput(dir, "a.tvr", Recording(1000, 0.0));
  PutInput(dir, "b.tvr", Recording(1000, 1.0));
  const std::vector<std::string> args = {"math",
                                         "sum",
                                         (dir / "a.tvr").string(),
                                         (dir / "b.tvr").string(),
                                         "-o",
                                         (dir / "somme.tvr").string()};
  const std::string requests[] = {"samples of A", "samples of B", "result samples"};
  const std::string kNoMemoryFor1000 =
      " : la mémoire ne peut pas contenir les 1000 points annoncés\n";
  const std::string expected[] = {
      "tavril-cli: Erreur lors de l'ouverture du fichier : " + args[2] + kNoMemoryFor1000,
      "tavril-cli: Erreur lors de l'ouverture du fichier : " + args[3] + kNoMemoryFor1000,
      "tavril-cli: Problème d'allocation mémoire\n",
  };
  ASSERT_EQ(
      3, RequestsOf([&] {
        TempDir other;
        ASSERT_TRUE(
            RunCliIn({"math", "sum", args[2], args[3], "-o", (other / "somme.tvr").string()}).ok);
      }));
  const Snapshot before = Take(dir);
  MatrixTable table({"operation", "failing request", "result", "user sees", "files afterwards"});
  for (int n = 1; n <= 3; ++n) {
    Outcome outcome;
    {
      ScopedAllocationFailure failure(n);
      outcome = RunCliIn(args);
    }
    EXPECT_FALSE(outcome.ok) << n;
    EXPECT_EQ(expected[n - 1], outcome.seen) << n;
    EXPECT_TRUE(before == Take(dir)) << n << ": " << Describe(Take(dir));
    table.Add({"tavril-cli math sum", std::to_string(n) + " of 3 (" + requests[n - 1] + ")",
               "exit 1", Cell(expected[n - 1].substr(0, expected[n - 1].size() - 1)),
               "no output, no temporary"});
  }
  std::cout << table.Markdown();
}

}  // namespace
}  // namespace tavril
