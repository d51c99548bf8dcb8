// Any argument list (the input split at NUL bytes, as the system hands
// arguments over): the parser gives a result, the same one every time, and
// a command it accepts is complete and within the limits it promises.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "fuzz_scratch.h"

namespace {

using tavril::cli::CommandKind;
using tavril::cli::CommandLine;

bool Acceptable(const CommandLine& command) {
  switch (command.kind) {
    case CommandKind::kMath:
      // Integrations take no second operand (names may be empty, so a
      // combination's may look missing).
      return tavril::TakesSecondOperand(command.operation) || command.secondInput.empty();
    case CommandKind::kAcquire: {
      const auto& request = command.acquire;
      return request.firstChannel >= 0 && request.firstChannel <= request.lastChannel &&
             request.lastChannel <= 7 && !request.outputPrefix.empty() &&
             std::isfinite(request.rate) && std::isfinite(request.scanRate);
    }
    case CommandKind::kRecord: {
      const auto& r = command.record;
      const int first = r.firstChannel == r.lastChannel ? r.firstChannel : 0;
      const auto within = [&](int c) { return c >= first && c <= r.lastChannel; };
      return within(first) && r.lastChannel <= 7 && !r.output.empty() && r.rate > 0 &&
             r.scanRate >= 0 && r.durationSeconds >= 0 &&
             std::isfinite(r.rate + r.scanRate + r.durationSeconds) &&
             (!r.trigger || (within(r.trigger->channel) && std::isfinite(r.trigger->level)));
    }
    case CommandKind::kMeasure:
      return !command.between ||
             (std::isfinite(command.between->from) && std::isfinite(command.between->to) &&
              command.between->from <= command.between->to);
    case CommandKind::kSpectrum: {
      const std::size_t size = command.spectrum.blockSize;
      return size >= 16 && size <= (std::size_t{1} << 20) && (size & (size - 1)) == 0 &&
             command.spectrum.maxBlocks >= 1;
    }
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = tavril::fuzz::AsText(data, size);
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const std::size_t nul = text.find('\0', start);
    const std::size_t end = nul == std::string_view::npos ? text.size() : nul;
    args.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }

  const tavril::cli::ParsedArguments parsed = tavril::cli::ParseArguments(args);
  const tavril::cli::ParsedArguments repeated = tavril::cli::ParseArguments(args);
  if (parsed.error != repeated.error || !(parsed.command == repeated.command)) std::abort();
  if (parsed.ok() && !Acceptable(parsed.command)) std::abort();

  // A help option in front asks for help whatever follows.
  args.insert(args.begin(), "--help");
  const tavril::cli::ParsedArguments help = tavril::cli::ParseArguments(args);
  if (!help.ok() || help.command.kind != CommandKind::kHelp) std::abort();
  return 0;
}
