#include "acquisition/boards.h"

#include "acquisition/simulated_board.h"

namespace tavril {
namespace {

class MissingBoard : public Board {
 public:
  DaqStatus Configure(const InputSettings&) override { return kDeviceNotFoundError; }
  DaqStatus SetTimeout(std::int32_t) override { return kDeviceNotFoundError; }
  DaqStatus Start(const AcquisitionRequest&) override { return kDeviceNotFoundError; }
  ReadResult Read(std::span<BoardReading>) override { return {kDeviceNotFoundError, 0}; }
  void Stop() override {}
  DaqStatus ScaleFor(int, std::int16_t, VoltScale&) override { return kDeviceNotFoundError; }
};

}  // namespace

Boards::Boards() : missing_(std::make_unique<MissingBoard>()) {}

Boards::~Boards() = default;

void Boards::Attach(std::int16_t device, std::unique_ptr<Board> board, std::string description,
                    std::string brief) {
  if (brief.empty()) brief = description;
  boards_[device] = {std::move(board), std::move(description), std::move(brief)};
}

Board& Boards::For(std::int16_t device) {
  const auto found = boards_.find(device);
  return found == boards_.end() ? *missing_ : *found->second.board;
}

std::string Boards::DescribeDevice(std::int16_t device) const {
  return Describe(device).full;
}

DeviceDescription Boards::Describe(std::int16_t device) const {
  const auto found = boards_.find(device);
  if (found != boards_.end()) {
    const Entry& entry = found->second;
    return {entry.description + entry.board->DescriptionRemark(),
            entry.brief + entry.board->BriefRemark()};
  }
  const std::string number = std::to_string(device);
  return {"Aucune carte ne répond au numéro de périphérique " + number,
          "Aucune carte au numéro " + number};
}

void AttachSimulatedBoard(Boards& boards, StreamClock& clock) {
  if (!boards.HasBoard(kSimulatedBoardDevice)) {
    boards.Attach(kSimulatedBoardDevice, std::make_unique<SimulatedBoard>(clock),
                  kSimulatedBoardDescription, kSimulatedBoardBrief);
  }
}

}  // namespace tavril
