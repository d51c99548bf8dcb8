#include "acquisition/board_router.h"

#include "acquisition/simulated_board.h"

#ifdef TAVRIL_HAVE_COMEDI
#include "acquisition/comedi/comedi_board.h"
#endif

namespace tavril {

void BoardRouter::Attach(std::int16_t device, std::unique_ptr<BoardDriver> board,
                         std::string description) {
  boards_[device] = {std::move(board), std::move(description)};
}

std::string BoardRouter::DescribeDevice(std::int16_t device) const {
  const auto found = boards_.find(device);
  if (found != boards_.end()) return found->second.description;
  return "Aucune carte ne répond au numéro de périphérique " + std::to_string(device);
}

BoardDriver* BoardRouter::Find(std::int16_t device) {
  const auto found = boards_.find(device);
  return found == boards_.end() ? nullptr : found->second.board.get();
}

DaqStatus BoardRouter::Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) {
  BoardDriver* board = Find(device);
  return board ? board->Timeout_Config(device, timeoutTicks) : kDeviceNotFoundError;
}

DaqStatus BoardRouter::DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain,
                              std::int16_t* buffer, std::uint32_t count, double sampleRate) {
  BoardDriver* board = Find(device);
  return board ? board->DAQ_Op(device, chan, gain, buffer, count, sampleRate)
               : kDeviceNotFoundError;
}

DaqStatus BoardRouter::SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                               std::int16_t* buffer, std::uint32_t count, double sampleRate,
                               double scanRate, std::int16_t* scanOrder) {
  BoardDriver* board = Find(device);
  if (board == nullptr) return kDeviceNotFoundError;
  lastScanBoard_ = board;
  return board->SCAN_Op(device, numChans, gain, buffer, count, sampleRate, scanRate, scanOrder);
}

DaqStatus BoardRouter::SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                                  std::int16_t numMuxBoards) {
  if (lastScanBoard_ == nullptr) return kInvalidValueError;
  return lastScanBoard_->SCAN_Demux(buffer, count, numChans, numMuxBoards);
}

DaqStatus BoardRouter::DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain,
                                  double gainAdjust, double offset, std::uint32_t count,
                                  const std::int16_t* readings, double* volts) {
  BoardDriver* board = Find(device);
  return board ? board->DAQ_VScale(device, chan, gain, gainAdjust, offset, count, readings, volts)
               : kDeviceNotFoundError;
}

DaqStatus BoardRouter::AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                                    std::int16_t inputRange, std::int16_t polarity,
                                    std::int16_t driveAIS) {
  BoardDriver* board = Find(device);
  return board ? board->AI_Configure(device, chan, inputMode, inputRange, polarity, driveAIS)
               : kDeviceNotFoundError;
}

std::unique_ptr<BoardRouter> MakeDefaultBoards(const BoardSearch& search) {
  auto router = std::make_unique<BoardRouter>();
#ifdef TAVRIL_HAVE_COMEDI
  ComediLibrary& library =
      search.comediLibrary != nullptr ? *search.comediLibrary : SystemComediLibrary();
  AttachComediBoards(*router, library, search.comediPathPrefix);
#else
  static_cast<void>(search);
#endif
  if (!router->HasBoard(kSimulatedBoardDevice)) {
    router->Attach(kSimulatedBoardDevice, std::make_unique<SimulatedBoard>(kSimulatedBoardDevice),
                   kSimulatedBoardDescription);
  }
  return router;
}

}  // namespace tavril
