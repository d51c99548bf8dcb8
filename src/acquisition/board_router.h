#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "acquisition/board_driver.h"

namespace tavril {

// The boards of this machine by device number. Calls for a device without a
// board fail with deviceNotFoundError, as on a machine without that board.
class BoardRouter : public BoardDriver {
 public:
  // `description` is what the user is shown for that device number.
  void Attach(std::int16_t device, std::unique_ptr<BoardDriver> board, std::string description);

  // What serves `device`, in French: the board's description, or a sentence
  // saying no board answers to that number.
  std::string DescribeDevice(std::int16_t device) const;
  bool HasBoard(std::int16_t device) const { return boards_.count(device) != 0; }

  DaqStatus Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) override;
  DaqStatus DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain, std::int16_t* buffer,
                   std::uint32_t count, double sampleRate) override;
  DaqStatus SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                    std::int16_t* buffer, std::uint32_t count, double sampleRate, double scanRate,
                    std::int16_t* scanOrder) override;
  // Demultiplexes as the board that made the last scan orders its scans.
  DaqStatus SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                       std::int16_t numMuxBoards) override;
  DaqStatus DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain, double gainAdjust,
                       double offset, std::uint32_t count, const std::int16_t* readings,
                       double* volts) override;
  DaqStatus AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                         std::int16_t inputRange, std::int16_t polarity,
                         std::int16_t driveAIS) override;

 private:
  struct Entry {
    std::unique_ptr<BoardDriver> board;
    std::string description;
  };
  BoardDriver* Find(std::int16_t device);

  std::map<std::int16_t, Entry> boards_;
  BoardDriver* lastScanBoard_ = nullptr;
};

inline constexpr std::int16_t kSimulatedBoardDevice = 1;
inline constexpr const char* kSimulatedBoardDescription =
    "Carte simulée : 12 bits, 16 entrées analogiques, signaux de test";

class ComediLibrary;

// Where the program looks for real boards: device number d is the Comedi
// device file comediPathPrefix followed by d - 1, for d from 1 to 16, opened
// through comediLibrary (null: comedilib itself). Without comedilib in the
// build there are no real boards.
struct BoardSearch {
  std::string_view comediPathPrefix = "/dev/comedi";
  ComediLibrary* comediLibrary = nullptr;
};

// The boards of the program: a Comedi board for every device file that holds
// one, and the simulated board on device 1 when the first file holds none.
std::unique_ptr<BoardRouter> MakeDefaultBoards(const BoardSearch& search = {});

}  // namespace tavril
