#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/channel_record.h"
#include "processing/channel_arithmetic.h"

namespace tavril {

// The code of an operation where the program shows or keeps a number for it
// (the math dialog's memory and its messages): 2 sum to 7 midpoint.
int MathOperationCode(MathOperation op);
std::optional<MathOperation> MathOperationFromCode(int code);

// Sum, difference, product and quotient take two records; integrations one.
bool TakesSecondOperand(MathOperation op);

// Runs `op` with A (and B, for the operations of two records) into `result`.
MathResult RunMathOperation(MathOperation op, const ChannelRecord& a, const ChannelRecord& b,
                            ChannelRecord& result);

// The result's title, naming the operands as the caller does ("Canal 0", or
// a file's name): "Canal 0 + Canal 1", "Integrale du Canal 0 (Rectangle)".
// `ofA` names A after "Integrale" ("du Canal 0", "de a.tvr"). At most
// kMaxTitleBytes bytes of the given text.
std::string MathResultTitle(MathOperation op, std::string_view nameA, std::string_view nameB,
                            std::string_view ofA);

// The channels of a math operation, for the message about different rates.
struct MathChannels {
  int a = 0;
  int b = 0;
  int result = 0;
};

// What the user is told of a result other than kOk (empty for kOk). Rates
// that differ are told by channel number when `channels` is given.
std::string MathResultMessage(MathResult result, std::optional<MathChannels> channels);

}  // namespace tavril
