#include "acquisition/comedi/comedi_board.h"

#include <comedi_errno.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "acquisition/comedi/comedi_error_text.h"

namespace tavril {
namespace {

// Most drivers settle a command in one or two tests; a driver that keeps
// adjusting is not going to accept it.
constexpr int kMaxCommandTests = 8;
// A board's clock rounds timing to its own ticks; a rate it cannot come
// within this fraction of is refused, since the records keep the rate asked.
constexpr double kTimingTolerance = 0.01;
// The kernel buffer is enlarged up to this, within what the device allows, so
// that fast acquisitions ride out the moments the program is not reading.
constexpr int kWantedBufferBytes = 4 << 20;
constexpr std::size_t kChunkBytes = 16 * 1024;

DaqStatus StatusOfErrno(int errnum) {
  return ComediStatus(errnum > 0 ? errnum : EUNKNOWN);
}

bool ValidRate(double rate) {
  return rate > 0.0 && std::isfinite(rate);
}

// Whether a period can be a command argument (whole nanoseconds, 32 bits).
bool ValidPeriod(double ns) {
  return ns >= 0.5 && ns < 4294967295.5;
}

unsigned PeriodArgument(double ns) {
  return static_cast<unsigned>(std::llround(ns));
}

bool CloseTo(unsigned settledNs, double wantedNs) {
  return std::abs(settledNs - wantedNs) <= kTimingTolerance * wantedNs;
}

// Cancels the command on every way out, which also frees the subdevice for
// the next one once a command has run to its end.
class CommandGuard {
 public:
  CommandGuard(ComediLibrary& library, comedi_t* handle, unsigned subdevice)
      : library_(library), handle_(handle), subdevice_(subdevice) {}
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;
  ~CommandGuard() { library_.Cancel(handle_, subdevice_); }

 private:
  ComediLibrary& library_;
  comedi_t* handle_;
  unsigned subdevice_;
};

// Between a range's raw codes and the engine's int16 readings.
struct ReadingCodec {
  bool unipolar = false;
  unsigned shift = 0;         // bits dropped from converters wider than 16 bits
  std::int32_t zeroCode = 0;  // half scale, in shifted codes (bipolar only)
  lsampl_t maxdata = 0;

  static ReadingCodec For(lsampl_t maxdata, bool unipolar) {
    ReadingCodec codec;
    codec.unipolar = unipolar;
    codec.maxdata = maxdata;
    while ((maxdata >> codec.shift) > 0xFFFFu) ++codec.shift;
    codec.zeroCode = static_cast<std::int32_t>((maxdata / 2 + 1) >> codec.shift);
    return codec;
  }

  std::int16_t ToReading(lsampl_t raw) const {
    const auto code = static_cast<std::uint16_t>(std::min(raw, maxdata) >> shift);
    if (unipolar) return static_cast<std::int16_t>(code);
    return static_cast<std::int16_t>(static_cast<std::int32_t>(code) - zeroCode);
  }

  // The raw code of `reading` less `offset` readings; fractional when the
  // offset is.
  double ToRaw(std::int16_t reading, double offset) const {
    const double code = unipolar ? static_cast<std::uint16_t>(reading) : reading + zeroCode;
    return std::ldexp(code - offset, static_cast<int>(shift));
  }
};

// Raw code to volts: the calibration polynomial where comedilib gives one,
// else the range's linear formula (which, unlike comedi_to_phys, gives the
// range's ends for the end codes rather than NaN).
struct VoltConversion {
  bool calibrated = false;
  comedi_polynomial_t polynomial{};
  double min = 0.0;
  double max = 0.0;
  double maxdata = 1.0;

  double operator()(double raw) const {
    if (!calibrated) return min + raw * (max - min) / maxdata;
    const double x = raw - polynomial.expansion_origin;
    double term = 1.0;
    double volts = 0.0;
    for (unsigned i = 0; i <= polynomial.order; ++i) {
      volts += polynomial.coefficients[i] * term;
      term *= x;
    }
    return volts;
  }
};

// Serves a device number whose board is there but could not be opened.
class UnreachableBoard : public BoardDriver {
 public:
  explicit UnreachableBoard(DaqStatus status) : status_(status) {}

  DaqStatus Timeout_Config(std::int16_t, std::int32_t) override { return status_; }
  DaqStatus DAQ_Op(std::int16_t, std::int16_t, std::int16_t, std::int16_t*, std::uint32_t,
                   double) override {
    return status_;
  }
  DaqStatus SCAN_Op(std::int16_t, std::int16_t, std::int16_t, std::int16_t*, std::uint32_t, double,
                    double, std::int16_t*) override {
    return status_;
  }
  DaqStatus SCAN_Demux(std::int16_t*, std::uint32_t, std::int16_t, std::int16_t) override {
    return status_;
  }
  DaqStatus DAQ_VScale(std::int16_t, std::int16_t, std::int16_t, double, double, std::uint32_t,
                       const std::int16_t*, double*) override {
    return status_;
  }
  DaqStatus AI_Configure(std::int16_t, std::int16_t, std::int16_t, std::int16_t, std::int16_t,
                         std::int16_t) override {
    return status_;
  }

 private:
  DaqStatus status_;
};

std::string NameOrQuestionMark(const char* name) {
  return name != nullptr && *name != '\0' ? name : "?";
}

}  // namespace

struct ComediBoard::RangeChoice {
  unsigned index = 0;
  unsigned aref = AREF_GROUND;
  double min = 0.0;
  double max = 0.0;
  ReadingCodec codec;
};

void ComediBoard::HandleCloser::operator()(comedi_t* handle) const {
  library->Close(handle);
}

void ComediBoard::CalibrationDeleter::operator()(comedi_calibration_t* calibration) const {
  library->CleanupCalibration(calibration);
}

ComediBoard::ComediBoard(ComediLibrary& library, Handle handle, std::int16_t device,
                         unsigned subdevice, int channelCount, int subdeviceFlags)
    : library_(library),
      handle_(std::move(handle)),
      device_(device),
      subdevice_(subdevice),
      channelCount_(channelCount),
      subdeviceFlags_(subdeviceFlags),
      calibration_(nullptr, CalibrationDeleter{&library}) {
  // Referenced single-ended and bipolar, as the board driver starts, unless
  // the board declares it cannot measure against ground.
  unsigned aref = AREF_GROUND;
  if ((subdeviceFlags & (SDF_GROUND | SDF_COMMON | SDF_DIFF | SDF_OTHER)) != 0 &&
      (subdeviceFlags & SDF_GROUND) == 0) {
    aref = (subdeviceFlags & SDF_DIFF) != 0 ? AREF_DIFF : AREF_COMMON;
  }
  setup_.assign(static_cast<std::size_t>(channelCount), ChannelSetup{aref, false});

  const std::string path = library_.GetDefaultCalibrationPath(handle_.get());
  if (!path.empty()) calibration_.reset(library_.ParseCalibrationFile(path.c_str()));
}

DaqStatus ComediBoard::LibraryError() const {
  return StatusOfErrno(library_.Errno());
}

DaqStatus ComediBoard::ChooseRange(unsigned chan, std::int16_t gain, RangeChoice* choice) const {
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  const ChannelSetup& setup = setup_[chan];
  const double top = (setup.unipolar ? 10.0 : 5.0) / g;
  const double bottom = setup.unipolar ? 0.0 : -top;
  const double tolerance = 1e-3 * top;

  const int ranges = library_.GetNRanges(handle_.get(), subdevice_, chan);
  if (ranges < 0) return LibraryError();
  for (int r = 0; r < ranges; ++r) {
    const comedi_range* range =
        library_.GetRange(handle_.get(), subdevice_, chan, static_cast<unsigned>(r));
    if (range == nullptr) return LibraryError();
    if (range->unit != UNIT_volt) continue;
    if (std::abs(range->min - bottom) > tolerance || std::abs(range->max - top) > tolerance) {
      continue;
    }
    const lsampl_t maxdata = library_.GetMaxdata(handle_.get(), subdevice_, chan);
    if (maxdata == 0) return LibraryError();
    choice->index = static_cast<unsigned>(r);
    choice->aref = setup.aref;
    choice->min = range->min;
    choice->max = range->max;
    choice->codec = ReadingCodec::For(maxdata, setup.unipolar);
    return kDaqNoError;
  }
  return kBadGainError;
}

DaqStatus ComediBoard::Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) {
  if (device != device_) return kBadDeviceError;
  if (timeoutTicks < -1) return kInvalidValueError;
  timeoutTicks_ = timeoutTicks;
  return kDaqNoError;
}

DaqStatus ComediBoard::DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain,
                              std::int16_t* buffer, std::uint32_t count, double sampleRate) {
  if (device != device_) return kBadDeviceError;
  if (!ValidChannel(chan)) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  if (count == 0) return kBadCountError;
  if (!ValidRate(sampleRate)) return kBadIntervalError;
  if (buffer == nullptr) return kInvalidValueError;
  const double convertNs = 1e9 / sampleRate;
  if (!ValidPeriod(convertNs)) return kBadIntervalError;

  std::vector<RangeChoice> ranges(1);
  const auto channel = static_cast<unsigned>(chan);
  if (DaqStatus status = ChooseRange(channel, gain, &ranges[0]); status != kDaqNoError) {
    return status;
  }
  std::vector<unsigned> chanlist{CR_PACK(channel, ranges[0].index, ranges[0].aref)};
  return RunCommand(chanlist, ranges, convertNs, convertNs, false, count, buffer);
}

DaqStatus ComediBoard::SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                               std::int16_t* buffer, std::uint32_t count, double sampleRate,
                               double scanRate, std::int16_t* scanOrder) {
  if (device != device_) return kBadDeviceError;
  if (numChans < 1 || numChans > channelCount_) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  if (count == 0) return kBadCountError;
  if (!ValidRate(sampleRate)) return kBadIntervalError;
  if (buffer == nullptr) return kInvalidValueError;
  const auto channels = static_cast<std::uint32_t>(numChans);
  if (count % channels != 0) return kBadCountError;
  if (!(scanRate >= 0.0 && scanRate * numChans <= sampleRate)) return kBadIntervalError;
  if (scanOrder == nullptr) return kInvalidValueError;
  const double convertNs = 1e9 / sampleRate;
  const double scanNs = scanRate > 0.0 ? 1e9 / scanRate : numChans * convertNs;
  if (!ValidPeriod(convertNs) || !ValidPeriod(scanNs)) return kBadIntervalError;

  // Channels numChans - 1 down to 0, so that SCAN_Demux leaves block i
  // holding channel numChans - 1 - i, as the engine expects.
  std::vector<RangeChoice> ranges(channels);
  std::vector<unsigned> chanlist(channels);
  for (std::uint32_t j = 0; j < channels; ++j) {
    const unsigned chan = channels - 1 - j;
    if (DaqStatus status = ChooseRange(chan, gain, &ranges[j]); status != kDaqNoError) {
      return status;
    }
    chanlist[j] = CR_PACK(chan, ranges[j].index, ranges[j].aref);
  }
  if (DaqStatus status =
          RunCommand(chanlist, ranges, convertNs, scanNs, scanRate > 0.0, count / channels, buffer);
      status != kDaqNoError) {
    return status;
  }
  // The order array has room for 8 channels; a longer scan lists its first 8.
  for (int j = 0; j < 8; ++j) {
    scanOrder[j] = static_cast<std::int16_t>(j < numChans ? numChans - 1 - j : 0);
  }
  return kDaqNoError;
}

void ComediBoard::ApplyHardwareCalibration(const std::vector<unsigned>& chanlist) {
  if ((subdeviceFlags_ & SDF_SOFT_CALIBRATED) != 0 || calibration_ == nullptr) return;
  // A calibration file without a setting for this range or reference leaves
  // the board as the driver set it up: readings are then uncalibrated, as
  // on a board never calibrated, which is no reason to refuse them.
  for (const unsigned entry : chanlist) {
    library_.ApplyParsedCalibration(handle_.get(), subdevice_, CR_CHAN(entry), CR_RANGE(entry),
                                    CR_AREF(entry), calibration_.get());
  }
}

DaqStatus ComediBoard::RunCommand(std::vector<unsigned>& chanlist,
                                  const std::vector<RangeChoice>& ranges, double convertNs,
                                  double scanNs, bool scanRateGiven, std::uint32_t scans,
                                  std::int16_t* buffer) {
  const auto length = static_cast<unsigned>(chanlist.size());
  comedi_cmd cmd{};
  if (library_.GetCmdGenericTimed(handle_.get(), subdevice_, &cmd, length, PeriodArgument(scanNs)) <
      0) {
    return LibraryError();
  }
  cmd.subdev = subdevice_;
  cmd.chanlist = chanlist.data();
  cmd.chanlist_len = length;
  cmd.scan_end_src = TRIG_COUNT;
  cmd.scan_end_arg = length;
  cmd.stop_src = TRIG_COUNT;
  cmd.stop_arg = scans;
  // The generic command lets scans follow one another where the board can;
  // a slower scan rate needs the board's scan clock, if it has one.
  const bool needsScanClock = cmd.scan_begin_src == TRIG_FOLLOW && scanRateGiven &&
                              std::abs(length * convertNs - scanNs) > kTimingTolerance * scanNs;
  if (needsScanClock) cmd.scan_begin_src = TRIG_TIMER;
  if (cmd.convert_src == TRIG_TIMER) cmd.convert_arg = PeriodArgument(convertNs);
  if (cmd.scan_begin_src == TRIG_TIMER) cmd.scan_begin_arg = PeriodArgument(scanNs);

  int stage = -1;
  for (int test = 0; test < kMaxCommandTests && stage != 0; ++test) {
    stage = library_.CommandTest(handle_.get(), &cmd);
    if (stage < 0) return LibraryError();
    if (stage == 1 || stage == 2) {
      return needsScanClock ? kBadIntervalError : ComediStatus(ECMDNOTSUPP);
    }
    if (stage == 5) return kBadChanError;
    if (stage != 0 && stage != 3 && stage != 4) return kInvalidValueError;
  }
  if (stage != 0) return kBadIntervalError;
  if (cmd.chanlist_len != length || cmd.scan_end_arg != length) return kBadChanError;
  if (cmd.stop_src != TRIG_COUNT || cmd.stop_arg != scans) return kBadCountError;
  if (cmd.convert_src == TRIG_TIMER && !CloseTo(cmd.convert_arg, convertNs)) {
    return kBadIntervalError;
  }
  if (cmd.scan_begin_src == TRIG_TIMER && !CloseTo(cmd.scan_begin_arg, scanNs)) {
    return kBadIntervalError;
  }

  ApplyHardwareCalibration(chanlist);
  if (library_.Command(handle_.get(), &cmd) < 0) return LibraryError();
  const CommandGuard guard(library_, handle_.get(), subdevice_);
  return ReadReadings(ranges, std::uint64_t{scans} * length, buffer);
}

DaqStatus ComediBoard::ReadReadings(const std::vector<RangeChoice>& ranges, std::uint64_t total,
                                    std::int16_t* buffer) {
  using Clock = std::chrono::steady_clock;
  const int fd = library_.Fileno(handle_.get());
  if (fd < 0) return LibraryError();
  const bool forever = timeoutTicks_ < 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeoutTicks_ * kMillisecondsPerTick);
  const bool longSamples = (subdeviceFlags_ & SDF_LSAMPL) != 0;
  const std::size_t sampleBytes = longSamples ? sizeof(lsampl_t) : sizeof(sampl_t);

  unsigned char chunk[kChunkBytes];
  std::size_t pending = 0;  // bytes of a sample cut by the previous read
  std::uint64_t done = 0;
  std::size_t position = 0;  // in the scan
  while (done < total) {
    int waitMs = -1;
    bool lastWait = false;
    if (!forever) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return kTimeOutError;
      lastWait = left <= INT_MAX;
      waitMs = lastWait ? static_cast<int>(left) : INT_MAX;
    }
    const int ready = library_.WaitReadable(fd, waitMs);
    if (ready == -EINTR) continue;
    if (ready < 0) return StatusOfErrno(-ready);
    if (ready == 0) {
      if (lastWait) return kTimeOutError;
      continue;
    }

    const std::uint64_t missing = (total - done) * sampleBytes - pending;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes - pending, missing));
    const long got = library_.Read(fd, chunk + pending, want);
    if (got == -EINTR || got == -EAGAIN) continue;
    // Comedi ends a read with EPIPE when the acquisition stopped on an error,
    // in practice the buffer overflowing because the data was not read in time.
    if (got == -EPIPE) return ComediStatus(EBUF_OVR);
    if (got < 0) return StatusOfErrno(static_cast<int>(-got));
    // The command ended before it gave every reading.
    if (got == 0) return ComediStatus(EIO);

    const std::size_t bytes = pending + static_cast<std::size_t>(got);
    const std::size_t whole = bytes / sampleBytes;
    for (std::size_t i = 0; i < whole; ++i) {
      lsampl_t raw = 0;
      if (longSamples) {
        std::memcpy(&raw, chunk + i * sampleBytes, sizeof(lsampl_t));
      } else {
        sampl_t shortRaw = 0;
        std::memcpy(&shortRaw, chunk + i * sampleBytes, sizeof(sampl_t));
        raw = shortRaw;
      }
      buffer[done++] = ranges[position].codec.ToReading(raw);
      if (++position == ranges.size()) position = 0;
    }
    pending = bytes - whole * sampleBytes;
    std::memmove(chunk, chunk + whole * sampleBytes, pending);
  }
  return kDaqNoError;
}

DaqStatus ComediBoard::SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                                  std::int16_t numMuxBoards) {
  if (numMuxBoards != 0) return kInvalidValueError;
  if (numChans < 1 || numChans > channelCount_) return kBadChanError;
  const auto channels = static_cast<std::uint32_t>(numChans);
  if (count == 0 || count % channels != 0) return kBadCountError;
  if (buffer == nullptr) return kInvalidValueError;
  if (channels == 1) return kDaqNoError;

  if (demuxScratchSize_ < count) {
    demuxScratch_.reset(new (std::nothrow) std::int16_t[count]);
    demuxScratchSize_ = demuxScratch_ == nullptr ? 0 : count;
    if (demuxScratch_ == nullptr) return kMemFullError;
  }
  std::memcpy(demuxScratch_.get(), buffer, std::size_t{count} * sizeof(std::int16_t));
  const std::size_t scans = count / channels;
  for (std::size_t s = 0; s < scans; ++s) {
    for (std::size_t j = 0; j < channels; ++j)
      buffer[j * scans + s] = demuxScratch_[s * channels + j];
  }
  return kDaqNoError;
}

DaqStatus ComediBoard::DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain,
                                  double gainAdjust, double offset, std::uint32_t count,
                                  const std::int16_t* readings, double* volts) {
  if (device != device_) return kBadDeviceError;
  if (!ValidChannel(chan)) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  if (readings == nullptr || volts == nullptr) return kInvalidValueError;
  if (!std::isfinite(gainAdjust) || gainAdjust == 0.0) return kInvalidValueError;
  const auto channel = static_cast<unsigned>(chan);
  RangeChoice choice;
  if (DaqStatus status = ChooseRange(channel, gain, &choice); status != kDaqNoError) return status;

  VoltConversion convert;
  convert.min = choice.min;
  convert.max = choice.max;
  convert.maxdata = choice.codec.maxdata;
  comedi_polynomial_t polynomial{};
  int found = -1;
  if ((subdeviceFlags_ & SDF_SOFT_CALIBRATED) != 0) {
    // Software-calibrated boards (M series) are corrected by the polynomial
    // comedi_soft_calibrate stored; without that file they read uncorrected.
    if (calibration_ != nullptr) {
      found = library_.GetSoftcalConverter(subdevice_, channel, choice.index, COMEDI_TO_PHYSICAL,
                                           calibration_.get(), &polynomial);
    }
  } else {
    found = library_.GetHardcalConverter(handle_.get(), subdevice_, channel, choice.index,
                                         COMEDI_TO_PHYSICAL, &polynomial);
  }
  if (found >= 0 && polynomial.order < COMEDI_MAX_NUM_POLYNOMIAL_COEFFICIENTS) {
    convert.calibrated = true;
    convert.polynomial = polynomial;
  }
  for (std::uint32_t k = 0; k < count; ++k) {
    volts[k] = convert(choice.codec.ToRaw(readings[k], offset)) / gainAdjust;
  }
  return kDaqNoError;
}

DaqStatus ComediBoard::AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                                    std::int16_t inputRange, std::int16_t polarity,
                                    std::int16_t driveAIS) {
  if (device != device_) return kBadDeviceError;
  if (chan != -1 && !ValidChannel(chan)) return kBadChanError;
  if (inputMode < 0 || inputMode > 2) return kBadInputModeError;
  // DIFF, RSE, NRSE: against the other input of a pair, against the board's
  // ground, against the common sense input.
  constexpr unsigned kArefs[] = {AREF_DIFF, AREF_GROUND, AREF_COMMON};
  constexpr int kArefFlags[] = {SDF_DIFF, SDF_GROUND, SDF_COMMON};
  const bool declaresArefs =
      (subdeviceFlags_ & (SDF_GROUND | SDF_COMMON | SDF_DIFF | SDF_OTHER)) != 0;
  if (declaresArefs && (subdeviceFlags_ & kArefFlags[inputMode]) == 0) return kBadInputModeError;
  if (inputRange != 0) return kInvalidValueError;
  if (polarity < 0 || polarity > 1) return kBadPolarityError;
  if (driveAIS != 0 && driveAIS != 1) return kInvalidValueError;

  const bool unipolar = polarity == 1;
  const unsigned probed = chan == -1 ? 0u : static_cast<unsigned>(chan);
  const int ranges = library_.GetNRanges(handle_.get(), subdevice_, probed);
  if (ranges < 0) return LibraryError();
  bool hasPolarity = false;
  for (int r = 0; r < ranges && !hasPolarity; ++r) {
    const comedi_range* range =
        library_.GetRange(handle_.get(), subdevice_, probed, static_cast<unsigned>(r));
    if (range == nullptr) return LibraryError();
    hasPolarity = range->unit == UNIT_volt && (unipolar ? range->min >= 0.0 : range->min < 0.0);
  }
  if (!hasPolarity) return kBadPolarityError;

  const ChannelSetup setup{kArefs[inputMode], unipolar};
  if (chan == -1) {
    std::fill(setup_.begin(), setup_.end(), setup);
  } else {
    setup_[probed] = setup;
  }
  return kDaqNoError;
}

ComediProbe ComediProbe::Open(ComediLibrary& library, std::int16_t device,
                              const std::string& path) {
  ComediBoard::Handle handle(library.Open(path.c_str()), ComediBoard::HandleCloser{&library});
  if (handle == nullptr) {
    const int errnum = library.Errno();
    // No file, or a Comedi minor that no board is attached to.
    if (errnum == ENOENT || errnum == ENODEV || errnum == ENXIO) return {};
    return {std::make_unique<UnreachableBoard>(StatusOfErrno(errnum)),
            "Carte Comedi " + path + " inaccessible : " + ComediErrorText(errnum)};
  }
  const int subdevice = library.FindSubdeviceByType(handle.get(), COMEDI_SUBD_AI, 0);
  if (subdevice < 0) return {};
  const auto sub = static_cast<unsigned>(subdevice);
  const int flags = library.GetSubdeviceFlags(handle.get(), sub);
  const int channels = library.GetNChannels(handle.get(), sub);
  if (flags < 0 || channels <= 0) {
    const int errnum = library.Errno();
    return {std::make_unique<UnreachableBoard>(StatusOfErrno(errnum)),
            "Carte Comedi " + path + " inaccessible : " + ComediErrorText(errnum)};
  }
  std::string description = "Carte Comedi " + path + " : " +
                            NameOrQuestionMark(library.GetDriverName(handle.get())) + ", " +
                            NameOrQuestionMark(library.GetBoardName(handle.get()));

  const int maxBytes = library.GetMaxBufferSize(handle.get(), sub);
  const int bytes = library.GetBufferSize(handle.get(), sub);
  const int wanted = std::min(maxBytes, kWantedBufferBytes);
  if (bytes >= 0 && bytes < wanted) {
    // A smaller buffer still works at moderate rates.
    library.SetBufferSize(handle.get(), sub, static_cast<unsigned>(wanted));
  }

  std::unique_ptr<BoardDriver> board(new ComediBoard(library, std::move(handle), device, sub,
                                                     std::min(channels, INT16_MAX), flags));
  return {std::move(board), std::move(description)};
}

void AttachComediBoards(BoardRouter& router, ComediLibrary& library, std::string_view pathPrefix) {
  for (int i = 0; i < kComediDeviceFiles; ++i) {
    const auto device = static_cast<std::int16_t>(i + 1);
    ComediProbe probe =
        ComediProbe::Open(library, device, std::string(pathPrefix) + std::to_string(i));
    if (probe.board != nullptr) router.Attach(device, std::move(probe.board), probe.description);
  }
}

}  // namespace tavril
