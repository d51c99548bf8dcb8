#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/boards.h"
#include "acquisition/comedi/comedi_library.h"
#include "acquisition/comedi/comedi_outputs.h"

namespace tavril {

// A multifunction board driven by the kernel's Comedi driver, through its
// first analog-input subdevice. Acquisitions run as timed Comedi commands
// over the channels in ascending order, which every driver accepts; Read()
// gives them back in the request's order.
//
// Timing: the driver's command test rounds the periods to its clock's ticks
// and brings them within its limits. A rounded scan period is taken, and
// RateUsed() says what it gives; a scan period the board cannot reach, or
// conversions slower than asked, are refused with badIntervalError.
// Ranges: gain code g (-1 for 0.5, 1, 2, 5, 10, 20, 50, 100) picks the
// board's range of ±5/g V (bipolar) or 0 to 10/g V (unipolar).
// Readings: raw codes become readings as the engine expects them: bipolar
// ranges give two's complement (raw minus half scale), unipolar ones the raw
// code, every bit of it (18-bit boards included); only a converter wider than
// 31 bits would lose its lowest bits, its scale then putting a reading in the
// middle of the codes it stands for. Analog outputs, when the board has
// them, are its ComediOutputs. Statuses: refusals use the board driver's numbers, and
// StatusMessage() says why the last Start() refused; a failed library or system call gives
// ComediStatus(its error number).
class ComediBoard : public Board {
 public:
  // The time-out's unit.
  static constexpr std::int64_t kMillisecondsPerTick = 55;
  // A Read waits this long at most between looks at whether Stop() was asked.
  static constexpr int kStopCheckMs = 100;

  ComediBoard(const ComediBoard&) = delete;
  ComediBoard& operator=(const ComediBoard&) = delete;
  // Cancels the command still running.
  ~ComediBoard() override;

  DaqStatus Configure(const InputSettings& settings) override;
  DaqStatus SetTimeout(std::int32_t ticks) override;
  // Runs the request's channels as one timed command; scans 0 runs it until
  // Stop(). Refuses with timeOutError, before the board runs, a finite
  // acquisition longer than the time-out, which runs from here (and for a
  // stream from every read). Reads the calibration file again.
  DaqStatus Start(const AcquisitionRequest& request) override;
  ReadResult Read(std::span<BoardReading> readings) override;
  // Cancels the command. From another thread too: a Read waiting then
  // returns within kStopCheckMs with invalidValueError and what it had read.
  void Stop() override;
  // From the command as the driver settled its timing.
  double RateUsed() const override;
  // Says when a board calibrated in software has no calibration file yet.
  std::string DescriptionRemark() const override;
  std::string BriefRemark() const override;
  DaqStatus ScaleFor(int channel, std::int16_t gain, VoltScale& scale) override;
  // A Comedi status in comedilib's own words; a refusal of the last Start()
  // or StartOutput() with its reason.
  std::string StatusMessage(DaqStatus status) const override;

  std::vector<OutputDescription> Outputs() const override;
  DaqStatus StartOutput(const OutputRequest& request) override;
  DaqStatus WriteOutput(std::span<const double> volts) override;
  DaqStatus StopOutput() override;
  DaqStatus ZeroOutputs() override;

 private:
  friend struct ComediProbe;
  struct ChannelSetup {
    unsigned aref;
    bool unipolar;
  };
  struct RangeChoice;
  struct Run;
  struct HandleCloser {
    ComediLibrary* library;
    void operator()(comedi_t* handle) const;
  };
  struct CalibrationDeleter {
    ComediLibrary* library;
    void operator()(comedi_calibration_t* calibration) const;
  };
  using Handle = std::unique_ptr<comedi_t, HandleCloser>;

  // `commandRefusal`, when not empty, says why the board cannot run commands.
  ComediBoard(ComediLibrary& library, Handle handle, unsigned subdevice, int channelCount,
              int subdeviceFlags, std::string path, std::string commandRefusal);

  DaqStatus LibraryError() const;
  // Whether a board calibrated in software has no calibration file, looked
  // for afresh: a calibration made while the program runs counts.
  bool CalibrationMissing() const;
  bool ValidChannel(int chan) const { return chan >= 0 && chan < channelCount_; }
  DaqStatus ChooseRange(unsigned chan, std::int16_t gain, RangeChoice* choice) const;
  // Tests, calibrates for and starts one timed command over the run's channel
  // list; `scans` 0 runs it until cancelled.
  DaqStatus RunCommand(Run& run, double convertNs, double scanNs, bool scanRateGiven,
                       std::uint64_t scans);
  void SetDeadline(Run& run) const;
  // The file comedi_calibrate or comedi_soft_calibrate wrote for this device,
  // read afresh: a calibration made since the last acquisition is taken.
  void LoadCalibration();
  void ApplyHardwareCalibration(const std::vector<unsigned>& chanlist);
  void StopLocked();
  // Reads from the running command into `readings` until it is full or
  // something goes wrong.
  ReadResult ReadReadings(Run& run, std::span<BoardReading> readings);

  ComediLibrary& library_;
  Handle handle_;
  unsigned subdevice_;
  int channelCount_;
  int subdeviceFlags_;
  std::string path_;  // the device file
  std::string commandRefusal_;
  std::string refusal_;  // why the last Start() refused, when it says more than its status
  // Released before the handle is closed.
  std::unique_ptr<comedi_calibration_t, CalibrationDeleter> calibration_;
  ChannelSetup setup_;  // every channel's
  std::int32_t timeoutTicks_ = -1;
  std::unique_ptr<Run> run_;  // the command started, if any
  // Held by every call that touches the command, so that a Stop() from
  // another thread waits for the Read it interrupts.
  mutable std::mutex mutex_;
  std::atomic<bool> stopAsked_{false};
  // Whether the last refusal came from StartOutput rather than Start.
  std::atomic<bool> outputRefusedLast_{false};
  // Closed before the handle.
  std::unique_ptr<ComediOutputs> outputs_;
};

// What a device file holds.
struct ComediProbe {
  // Null when no board with analog inputs answers there: the file is missing,
  // or holds no configured device, or one without analog inputs.
  std::unique_ptr<Board> board;
  // "Carte Comedi /dev/comedi0 : ni_pcimio, pci-6251", and what keeps it
  // from measuring right (no calibration) or at all (no commands). A board
  // that is there but cannot be opened (permissions, for one) is still
  // attached, so that its device number does not quietly fall back to the
  // simulated board: it answers every call with the opening's status, and
  // says why here.
  std::string description;
  // "Comedi pci-6251", for the configuration dialog.
  std::string brief;

  static ComediProbe Open(ComediLibrary& library, const std::string& path);
};

// Device files pathPrefix0 to pathPrefix15 serve device numbers 1 to 16.
inline constexpr int kComediDeviceFiles = 16;

// Attaches to `boards` a board for every device file that holds one.
void AttachComediBoards(Boards& boards, ComediLibrary& library, std::string_view pathPrefix);

}  // namespace tavril
