#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/comedi/comedi_library.h"

namespace tavril::testing {

// One board behind a device file, as comedilib would show it, with knobs for
// what a driver adjusts and what goes wrong, and a record of what the board
// was asked.
struct FakeComediDevice {
  // Open fails with this error number when it is not 0.
  int openErrno = 0;
  std::string driver = "ni_pcimio";
  std::string board = "pci-6251";
  bool hasAnalogInput = true;
  unsigned subdevice = 0;
  // The subdevice read(2) reads from; comedi_set_read_subdevice may change it.
  int readSubdevice = 0;
  bool readSubdeviceSettable = true;
  int flags = SDF_READABLE | SDF_CMD_READ | SDF_GROUND | SDF_COMMON | SDF_DIFF;
  int channels = 16;
  lsampl_t maxdata = 0xFFFF;
  std::vector<comedi_range> ranges;  // the same for every channel

  // Command timing as a driver adjusts it: periods are brought within
  // [minConvertNs, maxConvertNs] and scan periods within
  // [minConvertNs * channels, maxScanNs] (test stage 3), then to the
  // nearest multiple of the tick, a timed scan period no shorter than its
  // conversions (stage 4). ModelNiMio and ModelComediTest set these as the
  // kernel's drivers do.
  unsigned minConvertNs = 800;
  unsigned maxConvertNs = UINT_MAX;
  unsigned maxScanNs = UINT_MAX;
  unsigned maxStopCount = UINT_MAX;
  unsigned tickNs = 50;
  // Scans may follow one another (TRIG_FOLLOW), which comedilib's generic
  // command then prefers; and scans may start on a clock of their own.
  bool canFollow = false;
  bool hasScanClock = true;
  // Stage 5: channel lists longer than this are refused, and with
  // ascendingOnly any list whose channels do not go up.
  unsigned maxChanlist = 16;
  bool ascendingOnly = false;

  // Error numbers that make a call fail (0: it succeeds).
  int genericTimedErrno = 0;
  int commandTestErrno = 0;
  int commandErrno = 0;
  // Read fails with this error number once readFailAfterBytes are delivered.
  int readErrno = 0;
  std::size_t readFailAfterBytes = 0;
  // The data stops coming after this many bytes: waits last as long as they
  // are allowed to and find nothing, or the command ends there when endEarly
  // is set.
  std::size_t stallAfterBytes = std::numeric_limits<std::size_t>::max();
  bool endEarly = false;
  // Largest read answered, in bytes: small odd values cut samples in two.
  std::size_t readChunkBytes = 4096;

  // The raw code of scan `scan` on channel `chan` with range `range`.
  std::function<lsampl_t(unsigned chan, unsigned range, std::size_t scan)> sample =
      [this](unsigned chan, unsigned, std::size_t scan) {
        return static_cast<lsampl_t>((maxdata / 2 + 1 + chan * 1000 + scan) % (maxdata + 1));
      };

  // Calibration: the file comedi_get_default_calibration_path names, whether
  // it exists, and the polynomials the converters give when they give one.
  std::string calibrationPath = "/var/lib/comedi/calibrations/fake";
  bool calibrationFileExists = false;
  bool hasSoftcal = false;
  comedi_polynomial_t softcal{};
  bool hasHardcal = false;
  comedi_polynomial_t hardcal{};

  // What the board was asked.
  int opened = 0;
  int closed = 0;
  unsigned bufferBytes = 65536;
  std::vector<comedi_cmd> commandTests;  // as handed in, before any adjustment
  comedi_cmd command{};                  // the command that ran
  std::vector<unsigned> chanlist;        // its channel list
  int commands = 0;
  int cancels = 0;
  std::vector<int> waits;                                  // timeouts handed to WaitReadable, in ms
  std::vector<std::vector<unsigned>> appliedCalibrations;  // chan, range, aref

  // The bytes of the running command, and how many of them are read.
  std::vector<unsigned char> stream;
  std::size_t delivered = 0;
  // A command without stop count holds streamScans scans, scan k due at k
  // scan periods of fake time; a wait with nothing due moves the time on to
  // the next scan. Once more is due than bufferBytes holds, the buffer's
  // bytes are read, then EPIPE.
  std::size_t streamScans = 1000;
  std::uint64_t nanoseconds = 0;
  std::size_t overflowAt = std::numeric_limits<std::size_t>::max();

  comedi_calibration_t calibration{};

  // Analog outputs (ModelNiMio and ModelComediTest have them), with the
  // inputs' maxdata, on the subdevice write(2) writes to, and their command
  // test's limits; a start from the input's start is TRIG_EXT on
  // NI_AI_StartTrigger.
  bool hasAnalogOutput = false;
  unsigned aoSubdevice = 1;
  int aoFlags = SDF_WRITABLE | SDF_GROUND | SDF_CMD_WRITE;
  int aoChannels = 2;
  std::vector<comedi_range> aoRanges = {{-10, 10, UNIT_volt}, {-5, 5, UNIT_volt}};
  int writeSubdevice = 1;
  unsigned aoMinPeriodNs = 1000;
  unsigned aoMaxPeriodNs = UINT_MAX;
  unsigned aoTickNs = 1000;
  unsigned aoMaxStopCount = UINT_MAX;
  bool aoStartsWithInput = false;
  std::size_t aoBufferSamples = 2048;
  bool hasAoSoftcal = false;
  comedi_polynomial_t aoSoftcal{};
  // The output command, what became of it, every code written, how many the
  // board took, what each output holds.
  comedi_cmd aoCommand{};
  std::vector<unsigned> aoChanlist;
  bool aoBusy = false, aoRunning = false, aoArmed = false, aoStarted = false, aoFailed = false;
  std::vector<sampl_t> aoWritten;
  std::size_t aoTaken = 0;
  std::map<unsigned, lsampl_t> aoHeld;
};

class FakeComediLibrary : public ComediLibrary {
 public:
  // Device files, by path; a path not in the map does not exist.
  std::map<std::string, FakeComediDevice> devices;

  // The last command's readings as the board delivered them (raw codes), in
  // the order the scan converted them.
  static std::vector<lsampl_t> RawStream(const FakeComediDevice& device);

  // The board's output clock runs on by `updates` updates: each output
  // holds the last taken; a command whose values run out first runs dry.
  void TakeOutput(FakeComediDevice& device, std::size_t updates);
  // What the outputs hold, read while the board's threads run.
  std::map<unsigned, lsampl_t> Held(const FakeComediDevice& device);

  comedi_t* Open(const char* path) override;
  int Close(comedi_t* device) override;
  int Errno() override { return errno_; }
  const char* GetDriverName(comedi_t* device) override;
  const char* GetBoardName(comedi_t* device) override;
  int FindSubdeviceByType(comedi_t* device, int type, unsigned start) override;
  int GetSubdeviceFlags(comedi_t* device, unsigned subdevice) override;
  int GetReadSubdevice(comedi_t* device) override;
  int SetReadSubdevice(comedi_t* device, unsigned subdevice) override;
  int GetWriteSubdevice(comedi_t* device) override { return Of(device).writeSubdevice; }
  int SetWriteSubdevice(comedi_t* device, unsigned subdevice) override {
    Of(device).writeSubdevice = static_cast<int>(subdevice);
    return 0;
  }
  int GetNChannels(comedi_t* device, unsigned subdevice) override;
  lsampl_t GetMaxdata(comedi_t* device, unsigned subdevice, unsigned chan) override;
  int GetNRanges(comedi_t* device, unsigned subdevice, unsigned chan) override;
  comedi_range* GetRange(comedi_t* device, unsigned subdevice, unsigned chan,
                         unsigned range) override;
  int GetMaxBufferSize(comedi_t* device, unsigned subdevice) override;
  int GetBufferSize(comedi_t* device, unsigned subdevice) override;
  int SetBufferSize(comedi_t* device, unsigned subdevice, unsigned bytes) override;
  int GetCmdGenericTimed(comedi_t* device, unsigned subdevice, comedi_cmd* cmd,
                         unsigned chanlistLength, unsigned scanPeriodNs) override;
  int CommandTest(comedi_t* device, comedi_cmd* cmd) override;
  int Command(comedi_t* device, comedi_cmd* cmd) override;
  int Cancel(comedi_t* device, unsigned subdevice) override;
  int InternalTrigger(comedi_t* device, unsigned subdevice, unsigned trignum) override;
  int DataWrite(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range, unsigned aref,
                lsampl_t data) override;
  int Fileno(comedi_t* device) override;
  std::string GetDefaultCalibrationPath(comedi_t* device) override;
  comedi_calibration_t* ParseCalibrationFile(const char* path) override;
  void CleanupCalibration(comedi_calibration_t* calibration) override;
  int ApplyParsedCalibration(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range,
                             unsigned aref, const comedi_calibration_t* calibration) override;
  int GetSoftcalConverter(unsigned subdevice, unsigned chan, unsigned range,
                          comedi_conversion_direction direction,
                          const comedi_calibration_t* calibration,
                          comedi_polynomial_t* polynomial) override;
  int GetHardcalConverter(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range,
                          comedi_conversion_direction direction,
                          comedi_polynomial_t* polynomial) override;
  long Read(int fd, void* buffer, std::size_t bytes) override;
  int WaitReadable(int fd, int timeoutMs) override;
  long Write(int fd, const void* buffer, std::size_t bytes) override;
  int WaitWritable(int fd, int timeoutMs) override;

 private:
  int OutputCommandTest(FakeComediDevice& fake, comedi_cmd* cmd);
  static FakeComediDevice& Of(comedi_t* device) {
    return *reinterpret_cast<FakeComediDevice*>(device);
  }
  FakeComediDevice& OfFd(int fd);
  int Fail(int errnum) {
    errno_ = errnum;
    return -1;
  }

  std::atomic<int> errno_ = 0;
  // The board's output thread calls in too.
  std::recursive_mutex mutex_;
};

// The ranges of an E series board (PCI-MIO-16E-1): ±10 V down to ±50 mV, then
// 0 to 20 V down to 0 to 100 mV.
std::vector<comedi_range> ESeriesRanges();

// An NI board as ni_pcimio drives it (ni_mio_common.c, ni_ai_cmdtest): no
// TRIG_FOLLOW; 50 ns ticks, to the nearest; conversions from the board's
// fastest (aiSpeedNs) to 0xFFFF ticks; scans from aiSpeedNs per channel to
// 0xFFFFFF ticks; at most 0x1000000 scans.
// Its outputs as a PCI-6251's (ni_ao_cmdtest): 2, ±10 V and ±5 V, from 350 ns
// (aoSpeedNs) to 0xFFFFFF ticks of 50 ns, at most 0xFFFFFF updates, started
// by an internal trigger or by the analog input's start.
void ModelNiMio(FakeComediDevice& device, unsigned aiSpeedNs = 800, unsigned aoSpeedNs = 350);
// The kernel's comedi_test board (comedi_test.c, waveform_ai_cmdtest and
// fake_waveform): 8 single-ended 16-bit channels, ±10 V and ±5 V; scans
// follow each other or run on a timer, both rounded to whole microseconds;
// channel 0 a sawtooth and channel 1 a square wave, both of 1 V amplitude
// and 0.1 s period, the others 0 V (each scan read at its start). Its 8
// outputs (waveform_ao_cmdtest) run on their own 1 µs timer from an internal
// trigger only; inputs read them back in single readings, never in commands.
void ModelComediTest(FakeComediDevice& device);
// The bipolar ranges of an M series board (PCI-6251): ±10 V down to ±100 mV.
std::vector<comedi_range> MSeriesRanges();

}  // namespace tavril::testing
