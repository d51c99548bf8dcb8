#include "acquisition/comedi/comedi_board.h"

#include <comedi_errno.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
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

  // The way back, from a reading to the raw code, and the readings the
  // converter can give.
  void Describe(VoltScale& scale) const {
    scale.unsignedReadings = unipolar;
    scale.zeroCode = zeroCode;
    scale.codeShift = static_cast<int>(shift);
    const std::int32_t topCode = static_cast<std::int32_t>(maxdata >> shift);
    // A unipolar code above 32767 wraps to a negative reading: every reading
    // can then occur.
    const std::int32_t lowest = unipolar ? (topCode > INT16_MAX ? INT16_MIN : 0) : -zeroCode;
    const std::int32_t highest =
        unipolar ? std::min<std::int32_t>(topCode, INT16_MAX) : topCode - zeroCode;
    scale.lowestReading = static_cast<std::int16_t>(std::max<std::int32_t>(lowest, INT16_MIN));
    scale.highestReading = static_cast<std::int16_t>(std::min<std::int32_t>(highest, INT16_MAX));
  }
};

// Serves a device number whose board is there but could not be opened.
class UnreachableBoard : public Board {
 public:
  explicit UnreachableBoard(DaqStatus status) : status_(status) {}

  DaqStatus Configure(const InputSettings&) override { return status_; }
  DaqStatus SetTimeout(std::int32_t) override { return status_; }
  DaqStatus Start(const AcquisitionRequest&) override { return status_; }
  ReadResult Read(std::span<std::int16_t>) override { return {status_, 0}; }
  void Stop() override {}
  DaqStatus ScaleFor(int, std::int16_t, VoltScale&) override { return status_; }
  std::string StatusMessage(DaqStatus status) const override { return ComediStatusMessage(status); }

 private:
  DaqStatus status_;
};

// The analog reference of an input mode, and the subdevice flag that says
// the board has it.
struct Reference {
  unsigned aref;
  int flag;
};

bool ReferenceOf(InputMode mode, Reference* reference) {
  switch (mode) {
    case InputMode::kDifferential:
      *reference = {AREF_DIFF, SDF_DIFF};
      return true;
    case InputMode::kReferenced:
      *reference = {AREF_GROUND, SDF_GROUND};
      return true;
    case InputMode::kNonReferenced:
      *reference = {AREF_COMMON, SDF_COMMON};
      return true;
  }
  return false;
}

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

// The command started and how far it has been read.
struct ComediBoard::Run {
  std::vector<unsigned> chanlist;
  std::vector<ReadingCodec> codecs;  // by position in the scan
  // Set once comedi_command took it: from then on Stop() cancels it, which
  // also frees the subdevice once a command has run to its end.
  bool commandRunning = false;
  int fd = -1;
  bool longSamples = false;
  std::uint64_t total = 0;  // readings the command gives; 0 without end
  std::uint64_t done = 0;
  std::size_t position = 0;  // in the scan
  // Bytes of a sample cut by the last read.
  unsigned char pending[sizeof(lsampl_t)] = {};
  std::size_t pendingBytes = 0;
  bool forever = true;
  // A finite command's from its start; a stream's from each read, since it
  // has no end to wait for.
  std::chrono::steady_clock::time_point deadline;
  double rateUsed = 0.0;  // scans per second, as the command settled
  // A read that failed leaves the stream out of step: later reads say so again.
  DaqStatus failure = kDaqNoError;
};

void ComediBoard::HandleCloser::operator()(comedi_t* handle) const {
  library->Close(handle);
}

void ComediBoard::CalibrationDeleter::operator()(comedi_calibration_t* calibration) const {
  library->CleanupCalibration(calibration);
}

ComediBoard::ComediBoard(ComediLibrary& library, Handle handle, unsigned subdevice,
                         int channelCount, int subdeviceFlags)
    : library_(library),
      handle_(std::move(handle)),
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
  setup_ = ChannelSetup{aref, false};

  const std::string path = library_.GetDefaultCalibrationPath(handle_.get());
  if (!path.empty()) calibration_.reset(library_.ParseCalibrationFile(path.c_str()));
}

ComediBoard::~ComediBoard() {
  Stop();
}

DaqStatus ComediBoard::LibraryError() const {
  return StatusOfErrno(library_.Errno());
}

DaqStatus ComediBoard::ChooseRange(unsigned chan, std::int16_t gain, RangeChoice* choice) const {
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  const double top = (setup_.unipolar ? 10.0 : 5.0) / g;
  const double bottom = setup_.unipolar ? 0.0 : -top;
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
    choice->aref = setup_.aref;
    choice->min = range->min;
    choice->max = range->max;
    choice->codec = ReadingCodec::For(maxdata, setup_.unipolar);
    return kDaqNoError;
  }
  return kBadGainError;
}

DaqStatus ComediBoard::Configure(const InputSettings& settings) {
  Reference reference{};
  if (!ReferenceOf(settings.mode, &reference)) return kBadInputModeError;
  const bool declaresArefs =
      (subdeviceFlags_ & (SDF_GROUND | SDF_COMMON | SDF_DIFF | SDF_OTHER)) != 0;
  if (declaresArefs && (subdeviceFlags_ & reference.flag) == 0) return kBadInputModeError;

  // Every channel has the same ranges on these boards: channel 0 answers for all.
  const bool unipolar = settings.polarity == Polarity::kUnipolar;
  const int ranges = library_.GetNRanges(handle_.get(), subdevice_, 0);
  if (ranges < 0) return LibraryError();
  bool hasPolarity = false;
  for (int r = 0; r < ranges && !hasPolarity; ++r) {
    const comedi_range* range =
        library_.GetRange(handle_.get(), subdevice_, 0, static_cast<unsigned>(r));
    if (range == nullptr) return LibraryError();
    hasPolarity = range->unit == UNIT_volt && (unipolar ? range->min >= 0.0 : range->min < 0.0);
  }
  if (!hasPolarity) return kBadPolarityError;

  setup_ = ChannelSetup{reference.aref, unipolar};
  return kDaqNoError;
}

DaqStatus ComediBoard::SetTimeout(std::int32_t ticks) {
  if (ticks < -1) return kInvalidValueError;
  timeoutTicks_ = ticks;
  return kDaqNoError;
}

DaqStatus ComediBoard::Start(const AcquisitionRequest& request) {
  Stop();
  const std::size_t channels = request.channels.size();
  if (channels < 1 || channels > static_cast<std::size_t>(channelCount_)) return kBadChanError;
  for (const int chan : request.channels) {
    if (!ValidChannel(chan)) return kBadChanError;
  }
  double g = 1.0;
  if (!GainFactor(request.gain, &g)) return kBadGainError;
  // Scans without end (0) run with stop_src TRIG_NONE. The stop count is 32 bits.
  if (request.scans > UINT_MAX) return kBadCountError;
  const double sampleRate = request.sampleRate;
  if (!ValidRate(sampleRate)) return kBadIntervalError;
  const double scanRate = request.scanRate;
  if (!(scanRate >= 0.0 && scanRate * static_cast<double>(channels) <= sampleRate)) {
    return kBadIntervalError;
  }
  const double convertNs = 1e9 / sampleRate;
  const double scanNs = scanRate > 0.0 ? 1e9 / scanRate : static_cast<double>(channels) * convertNs;
  if (!ValidPeriod(convertNs) || !ValidPeriod(scanNs)) return kBadIntervalError;

  auto run = std::make_unique<Run>();
  for (const int chan : request.channels) {
    RangeChoice choice;
    if (DaqStatus status = ChooseRange(static_cast<unsigned>(chan), request.gain, &choice);
        status != kDaqNoError) {
      return status;
    }
    run->chanlist.push_back(CR_PACK(static_cast<unsigned>(chan), choice.index, choice.aref));
    run->codecs.push_back(choice.codec);
  }
  run_ = std::move(run);
  const DaqStatus status = RunCommand(*run_, convertNs, scanNs, scanRate > 0.0, request.scans);
  // A command that started and then failed is cancelled here.
  if (status != kDaqNoError) Stop();
  return status;
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

DaqStatus ComediBoard::RunCommand(Run& run, double convertNs, double scanNs, bool scanRateGiven,
                                  std::uint64_t scans) {
  const auto length = static_cast<unsigned>(run.chanlist.size());
  const unsigned stopSource = scans == 0 ? TRIG_NONE : TRIG_COUNT;
  const auto stopCount = static_cast<unsigned>(scans);
  comedi_cmd cmd{};
  if (library_.GetCmdGenericTimed(handle_.get(), subdevice_, &cmd, length, PeriodArgument(scanNs)) <
      0) {
    return LibraryError();
  }
  cmd.subdev = subdevice_;
  cmd.chanlist = run.chanlist.data();
  cmd.chanlist_len = length;
  cmd.scan_end_src = TRIG_COUNT;
  cmd.scan_end_arg = length;
  cmd.stop_src = stopSource;
  cmd.stop_arg = stopCount;
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
  if (cmd.stop_src != stopSource || cmd.stop_arg != stopCount) return kBadCountError;
  if (cmd.convert_src == TRIG_TIMER && !CloseTo(cmd.convert_arg, convertNs)) {
    return kBadIntervalError;
  }
  if (cmd.scan_begin_src == TRIG_TIMER && !CloseTo(cmd.scan_begin_arg, scanNs)) {
    return kBadIntervalError;
  }

  // What the board's clock really runs at, within kTimingTolerance of the rate
  // asked: a stream's reader needs it to place the readings in time.
  if (cmd.scan_begin_src == TRIG_TIMER) {
    run.rateUsed = 1e9 / cmd.scan_begin_arg;
  } else if (cmd.convert_src == TRIG_TIMER) {
    run.rateUsed = 1e9 / (static_cast<double>(cmd.convert_arg) * length);
  } else {
    run.rateUsed = 1e9 / scanNs;
  }

  ApplyHardwareCalibration(run.chanlist);
  if (library_.Command(handle_.get(), &cmd) < 0) return LibraryError();
  run.commandRunning = true;
  run.forever = timeoutTicks_ < 0;
  SetDeadline(run);
  run.fd = library_.Fileno(handle_.get());
  if (run.fd < 0) return LibraryError();
  run.longSamples = (subdeviceFlags_ & SDF_LSAMPL) != 0;
  run.total = scans * length;
  return kDaqNoError;
}

ReadResult ComediBoard::Read(std::span<std::int16_t> readings) {
  if (run_ == nullptr) return {kInvalidValueError, 0};
  Run& run = *run_;
  if (run.failure != kDaqNoError) return {run.failure, 0};
  if (run.total == 0) SetDeadline(run);
  const ReadResult result = ReadReadings(run, readings);
  run.failure = result.status;
  return result;
}

ReadResult ComediBoard::ReadReadings(Run& run, std::span<std::int16_t> readings) {
  using Clock = std::chrono::steady_clock;
  const std::size_t sampleBytes = run.longSamples ? sizeof(lsampl_t) : sizeof(sampl_t);
  std::size_t wanted = readings.size();
  if (run.total != 0) {
    wanted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, run.total - run.done));
  }

  unsigned char chunk[kChunkBytes];
  std::size_t pending = run.pendingBytes;
  std::memcpy(chunk, run.pending, pending);
  std::size_t done = 0;
  // What is left of a cut sample waits for the next call.
  const auto finish = [&](DaqStatus status) {
    std::memcpy(run.pending, chunk, pending);
    run.pendingBytes = pending;
    run.done += done;
    return ReadResult{status, done};
  };
  while (done < wanted) {
    int waitMs = -1;
    bool lastWait = false;
    if (!run.forever) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(run.deadline - Clock::now()).count();
      if (left <= 0) return finish(kTimeOutError);
      lastWait = left <= INT_MAX;
      waitMs = lastWait ? static_cast<int>(left) : INT_MAX;
    }
    const int ready = library_.WaitReadable(run.fd, waitMs);
    if (ready == -EINTR) continue;
    if (ready < 0) return finish(StatusOfErrno(-ready));
    if (ready == 0) {
      if (lastWait) return finish(kTimeOutError);
      continue;
    }

    // Never more bytes than the readings wanted: whatever is read is used.
    const std::size_t missing = (wanted - done) * sampleBytes - pending;
    const std::size_t want = std::min(kChunkBytes - pending, missing);
    const long got = library_.Read(run.fd, chunk + pending, want);
    if (got == -EINTR || got == -EAGAIN) continue;
    // Comedi ends a read with EPIPE when the acquisition stopped on an error,
    // in practice the buffer overflowing because the data was not read in time.
    if (got == -EPIPE) return finish(kOverWriteError);
    if (got < 0) return finish(StatusOfErrno(static_cast<int>(-got)));
    // The command ended before it gave every reading.
    if (got == 0) return finish(ComediStatus(EIO));

    const std::size_t bytes = pending + static_cast<std::size_t>(got);
    const std::size_t whole = bytes / sampleBytes;
    for (std::size_t i = 0; i < whole; ++i) {
      lsampl_t raw = 0;
      if (run.longSamples) {
        std::memcpy(&raw, chunk + i * sampleBytes, sizeof(lsampl_t));
      } else {
        sampl_t shortRaw = 0;
        std::memcpy(&shortRaw, chunk + i * sampleBytes, sizeof(sampl_t));
        raw = shortRaw;
      }
      readings[done++] = run.codecs[run.position].ToReading(raw);
      if (++run.position == run.codecs.size()) run.position = 0;
    }
    pending = bytes - whole * sampleBytes;
    std::memmove(chunk, chunk + whole * sampleBytes, pending);
  }
  return finish(kDaqNoError);
}

void ComediBoard::SetDeadline(Run& run) const {
  run.deadline = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(timeoutTicks_ * kMillisecondsPerTick);
}

double ComediBoard::RateUsed() const {
  return run_ != nullptr ? run_->rateUsed : 0.0;
}

void ComediBoard::Stop() {
  if (run_ != nullptr && run_->commandRunning) library_.Cancel(handle_.get(), subdevice_);
  run_.reset();
}

DaqStatus ComediBoard::ScaleFor(int channel, std::int16_t gain, VoltScale& scale) {
  if (!ValidChannel(channel)) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  const auto chan = static_cast<unsigned>(channel);
  RangeChoice choice;
  if (DaqStatus status = ChooseRange(chan, gain, &choice); status != kDaqNoError) return status;

  comedi_polynomial_t polynomial{};
  int found = -1;
  if ((subdeviceFlags_ & SDF_SOFT_CALIBRATED) != 0) {
    // Software-calibrated boards (M series) are corrected by the polynomial
    // comedi_soft_calibrate stored; without that file they read uncorrected.
    if (calibration_ != nullptr) {
      found = library_.GetSoftcalConverter(subdevice_, chan, choice.index, COMEDI_TO_PHYSICAL,
                                           calibration_.get(), &polynomial);
    }
  } else {
    found = library_.GetHardcalConverter(handle_.get(), subdevice_, chan, choice.index,
                                         COMEDI_TO_PHYSICAL, &polynomial);
  }

  scale = VoltScale{};
  choice.codec.Describe(scale);
  scale.form = VoltScale::Form::kRange;
  scale.rangeMin = choice.min;
  scale.rangeMax = choice.max;
  scale.maxCode = choice.codec.maxdata;
  // The calibration polynomial where comedilib gives one, else the range's
  // linear formula (which, unlike comedi_to_phys, gives the range's ends for
  // the end codes rather than NaN).
  static_assert(VoltScale::kMaxCoefficients >= COMEDI_MAX_NUM_POLYNOMIAL_COEFFICIENTS);
  if (found >= 0 && polynomial.order < COMEDI_MAX_NUM_POLYNOMIAL_COEFFICIENTS) {
    scale.form = VoltScale::Form::kPolynomial;
    std::copy(std::begin(polynomial.coefficients), std::end(polynomial.coefficients),
              scale.coefficients);
    scale.order = static_cast<int>(polynomial.order);
    scale.origin = polynomial.expansion_origin;
  }
  return kDaqNoError;
}

std::string ComediBoard::StatusMessage(DaqStatus status) const {
  return ComediStatusMessage(status);
}

ComediProbe ComediProbe::Open(ComediLibrary& library, const std::string& path) {
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

  std::unique_ptr<Board> board(
      new ComediBoard(library, std::move(handle), sub, std::min(channels, INT16_MAX), flags));
  return {std::move(board), std::move(description)};
}

void AttachComediBoards(Boards& boards, ComediLibrary& library, std::string_view pathPrefix) {
  for (int i = 0; i < kComediDeviceFiles; ++i) {
    const auto device = static_cast<std::int16_t>(i + 1);
    ComediProbe probe = ComediProbe::Open(library, std::string(pathPrefix) + std::to_string(i));
    if (probe.board != nullptr) boards.Attach(device, std::move(probe.board), probe.description);
  }
}

}  // namespace tavril
