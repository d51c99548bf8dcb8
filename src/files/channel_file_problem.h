#pragma once

#include <cstdint>
#include <string>

namespace tavril {

// Why a data file could not be read.
enum class ChannelFileFault {
  kNone,
  kCannotOpen,         // missing, not a regular file, not readable: see systemError
  kLabelMismatch,      // `label` is not at `offset`
  kFieldUnterminated,  // the value after `label` reaches the end of the file
  kFieldTooLong,       // the value after `label` is longer than a header value may be
  kBadCount,           // the count is negative, not a number or beyond 32 bits
  kNoMemory,           // the `count` samples the file announces do not fit in memory
  kTooManyValues,      // the list holds more than `count` values; the first extra at `offset`
  kListUnterminated,   // the file ends before the list's terminator
  kValueTooLong,       // a value's text at `offset` is longer than any number
  kReadError,          // reading or closing failed: see systemError
};

struct ChannelFileProblem {
  ChannelFileFault fault = ChannelFileFault::kNone;
  std::string label;         // the header label concerned, as the file spells it
  std::uint64_t offset = 0;  // byte offset in the file where the fault was found
  std::uint64_t count = 0;   // the count announced (kNoMemory, kTooManyValues)
  std::string countText;     // the count's text (kBadCount), as the file holds it
  int systemError = 0;       // errno (kCannotOpen, kReadError)
};

// One line of French saying what is wrong with the file, for the user.
std::string DescribeChannelFileProblem(const ChannelFileProblem& problem);

}  // namespace tavril
