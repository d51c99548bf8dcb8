#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/board_driver.h"
#include "acquisition/board_router.h"
#include "acquisition/comedi/comedi_library.h"

namespace tavril {

// A multifunction board driven by the kernel's Comedi driver, through its
// first analog-input subdevice. Acquisitions run as timed Comedi commands.
//
// Ranges: gain code g (-1 for 0.5, 1, 2, 5, 10, 20, 50, 100) picks the
// board's range of ±5/g V (bipolar) or 0 to 10/g V (unipolar).
// Readings: raw codes become int16 readings as the engine expects them:
// bipolar ranges give two's complement (raw minus half scale), unipolar ones
// the raw code's 16 bits; converters wider than 16 bits lose their lowest
// bits. Statuses: refusals use the board driver's numbers; a failed library
// or system call gives ComediStatus(its error number).
class ComediBoard : public BoardDriver {
 public:
  // The time-out's unit.
  static constexpr std::int64_t kMillisecondsPerTick = 55;

  ComediBoard(const ComediBoard&) = delete;
  ComediBoard& operator=(const ComediBoard&) = delete;

  DaqStatus Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) override;
  DaqStatus DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain, std::int16_t* buffer,
                   std::uint32_t count, double sampleRate) override;
  DaqStatus SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                    std::int16_t* buffer, std::uint32_t count, double sampleRate, double scanRate,
                    std::int16_t* scanOrder) override;
  DaqStatus SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                       std::int16_t numMuxBoards) override;
  DaqStatus DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain, double gainAdjust,
                       double offset, std::uint32_t count, const std::int16_t* readings,
                       double* volts) override;
  DaqStatus AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                         std::int16_t inputRange, std::int16_t polarity,
                         std::int16_t driveAIS) override;

 private:
  friend struct ComediProbe;
  struct ChannelSetup {
    unsigned aref;
    bool unipolar;
  };
  struct RangeChoice;
  struct HandleCloser {
    ComediLibrary* library;
    void operator()(comedi_t* handle) const;
  };
  struct CalibrationDeleter {
    ComediLibrary* library;
    void operator()(comedi_calibration_t* calibration) const;
  };
  using Handle = std::unique_ptr<comedi_t, HandleCloser>;

  ComediBoard(ComediLibrary& library, Handle handle, std::int16_t device, unsigned subdevice,
              int channelCount, int subdeviceFlags);

  DaqStatus LibraryError() const;
  bool ValidChannel(int chan) const { return chan >= 0 && chan < channelCount_; }
  DaqStatus ChooseRange(unsigned chan, std::int16_t gain, RangeChoice* choice) const;
  // Runs one timed command over `chanlist` and leaves scans x chanlist
  // readings in `buffer`, in scan order.
  DaqStatus RunCommand(std::vector<unsigned>& chanlist, const std::vector<RangeChoice>& ranges,
                       double convertNs, double scanNs, bool scanRateGiven, std::uint32_t scans,
                       std::int16_t* buffer);
  DaqStatus ReadReadings(const std::vector<RangeChoice>& ranges, std::uint64_t total,
                         std::int16_t* buffer);
  void ApplyHardwareCalibration(const std::vector<unsigned>& chanlist);

  ComediLibrary& library_;
  Handle handle_;
  std::int16_t device_;
  unsigned subdevice_;
  int channelCount_;
  int subdeviceFlags_;
  // Released before the handle is closed.
  std::unique_ptr<comedi_calibration_t, CalibrationDeleter> calibration_;
  std::vector<ChannelSetup> setup_;
  std::int32_t timeoutTicks_ = -1;
  std::unique_ptr<std::int16_t[]> demuxScratch_;
  std::size_t demuxScratchSize_ = 0;
};

// What a device file holds.
struct ComediProbe {
  // Null when no board with analog inputs answers there: the file is missing,
  // or holds no configured device, or one without analog inputs.
  std::unique_ptr<BoardDriver> board;
  // "Carte Comedi /dev/comedi0 : ni_pcimio, pci-6251". A board that is there
  // but cannot be opened (permissions, for one) is still attached, so that
  // its device number does not quietly fall back to the simulated board: it
  // answers every call with the opening's status, and says why here.
  std::string description;

  static ComediProbe Open(ComediLibrary& library, std::int16_t device, const std::string& path);
};

// Device files pathPrefix0 to pathPrefix15 serve device numbers 1 to 16.
inline constexpr int kComediDeviceFiles = 16;

// Attaches to `router` a board for every device file that holds one.
void AttachComediBoards(BoardRouter& router, ComediLibrary& library, std::string_view pathPrefix);

}  // namespace tavril
