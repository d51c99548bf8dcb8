#include "processing/math_operation.h"

#include "model/messages.h"

namespace tavril {

int MathOperationCode(MathOperation op) {
  return static_cast<int>(op) + 2;
}

std::optional<MathOperation> MathOperationFromCode(int code) {
  if (code < 2 || code > 7) return std::nullopt;
  return static_cast<MathOperation>(code - 2);
}

bool TakesSecondOperand(MathOperation op) {
  return op == MathOperation::kSum || op == MathOperation::kDifference ||
         op == MathOperation::kProduct || op == MathOperation::kQuotient;
}

MathResult RunMathOperation(MathOperation op, const ChannelRecord& a, const ChannelRecord& b,
                            ChannelRecord& result) {
  switch (op) {
    case MathOperation::kRectangle:
      return IntegrateRectangle(a, result);
    case MathOperation::kMidpoint:
      return IntegrateMidpoint(a, result);
    default:
      return CombineChannels(a, b, result, op);
  }
}

std::string MathResultTitle(MathOperation op, std::string_view nameA, std::string_view nameB,
                            std::string_view ofA) {
  const std::string a(nameA);
  const std::string b(nameB);
  std::string title;
  switch (op) {
    case MathOperation::kSum:
      title = a + " + " + b;
      break;
    case MathOperation::kDifference:
      title = a + " - " + b;
      break;
    case MathOperation::kProduct:
      title = a + " * " + b;
      break;
    case MathOperation::kQuotient:
      title = a + " / " + b;
      break;
    case MathOperation::kRectangle:
      title = "Integrale " + std::string(ofA) + " (Rectangle)";
      break;
    case MathOperation::kMidpoint:
      title = "Integrale " + std::string(ofA) + " (Point milieu)";
      break;
  }
  if (title.size() > kMaxTitleBytes) title.resize(kMaxTitleBytes);
  return title;
}

std::string MathResultMessage(MathResult result, std::optional<MathChannels> channels) {
  switch (result) {
    case MathResult::kOk:
      return {};
    case MathResult::kBadOperation:
      return messages::kSignProblem;
    case MathResult::kNoMemory:
      return messages::kMathNoMemory;
    case MathResult::kRatesDiffer:
      if (!channels) return messages::kRatesDiffer;
      return messages::ChannelRatesDiffer(channels->a, channels->b, channels->result);
  }
  return "Code d'erreur inconnu";
}

}  // namespace tavril
