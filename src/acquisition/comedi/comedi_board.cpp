#include "acquisition/comedi/comedi_board.h"

#include <comedi_errno.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <numeric>
#include <utility>

#include "acquisition/comedi/comedi_error_text.h"
#include "acquisition/rate_refusal.h"
#include "text/rate_text.h"

namespace tavril {
namespace {

// Most drivers settle a command in one or two tests; a driver that keeps
// adjusting is not going to accept it.
constexpr int kMaxCommandTests = 8;
// A scan rate this close to the channels back to back needs no scan clock.
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

// The longest period a command argument holds (whole nanoseconds, 32 bits).
constexpr double kMaxPeriodNs = UINT_MAX;

// A period shorter than a nanosecond asks for one.
constexpr double kMinPeriodNs = 1.0;

// A period beyond what an argument holds asks for the nearest it holds: the
// command test then says how long or how short the board can go.
unsigned PeriodArgument(double ns) {
  return static_cast<unsigned>(std::llround(std::clamp(ns, kMinPeriodNs, kMaxPeriodNs)));
}

// Whether an argument cannot hold the period: the board cannot run it as asked.
bool BeyondArgument(double ns) {
  return ns < kMinPeriodNs / 2 || ns > kMaxPeriodNs;
}

// Nanoseconds from one scan's start to the next, as the command sets them.
double ScanPeriodNs(const comedi_cmd& cmd) {
  if (cmd.scan_begin_src == TRIG_TIMER) return cmd.scan_begin_arg;
  return static_cast<double>(cmd.convert_arg) * cmd.chanlist_len;
}

std::string PerSecond(double ns) {
  return RateText(1e9 / ns) + " échantillons par seconde et par voie";
}

// Between a range's raw codes and the engine's readings.
struct ReadingCodec {
  bool unipolar = false;
  unsigned shift = 0;         // bits dropped from converters wider than 31 bits
  std::int32_t zeroCode = 0;  // half scale, in shifted codes (bipolar only)
  lsampl_t maxdata = 0;

  static ReadingCodec For(lsampl_t maxdata, bool unipolar) {
    ReadingCodec codec;
    codec.unipolar = unipolar;
    codec.maxdata = maxdata;
    while ((maxdata >> codec.shift) > static_cast<lsampl_t>(INT32_MAX)) ++codec.shift;
    if (!unipolar) codec.zeroCode = static_cast<std::int32_t>((maxdata / 2 + 1) >> codec.shift);
    return codec;
  }

  // The middle of the raw codes a shifted reading stands for.
  double Centre() const { return (std::ldexp(1.0, static_cast<int>(shift)) - 1.0) / 2.0; }

  BoardReading ToReading(lsampl_t raw) const {
    return static_cast<BoardReading>(std::min(raw, maxdata) >> shift) - zeroCode;
  }

  // The way back, from a reading to the raw code, and the readings the
  // converter can give.
  void Describe(VoltScale& scale) const {
    scale.zeroCode = zeroCode;
    scale.codeShift = static_cast<int>(shift);
    scale.codeCentre = Centre();
    scale.lowestReading = -zeroCode;
    scale.highestReading = static_cast<BoardReading>(maxdata >> shift) - zeroCode;
  }
};

// Serves a device number whose board is there but could not be opened.
class UnreachableBoard : public Board {
 public:
  explicit UnreachableBoard(DaqStatus status) : status_(status) {}

  DaqStatus Configure(const InputSettings&) override { return status_; }
  DaqStatus SetTimeout(std::int32_t) override { return status_; }
  DaqStatus Start(const AcquisitionRequest&) override { return status_; }
  ReadResult Read(std::span<BoardReading>) override { return {status_, 0}; }
  void Stop() override {}
  DaqStatus ScaleFor(int, std::int16_t, VoltScale&) override { return status_; }
  // Its outputs may be there too: tavril-cli zero-outputs says why it cannot reach them.
  DaqStatus StartOutput(const OutputRequest&) override { return status_; }
  DaqStatus WriteOutput(std::span<const double>) override { return status_; }
  DaqStatus StopOutput() override { return status_; }
  DaqStatus ZeroOutputs() override { return status_; }
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
  std::vector<unsigned> chanlist;    // in ascending channels, as the board converts them
  std::vector<ReadingCodec> codecs;  // by position in the command's scan
  // The request's position of each of the command's; when they differ, each
  // scan is put in the request's order in `scan` before it is handed out.
  std::vector<std::size_t> slots;
  bool reordered = false;
  std::vector<BoardReading> scan;
  std::size_t handed = 0;  // readings of `scan` already handed out
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
                         int channelCount, int subdeviceFlags, std::string path,
                         std::string commandRefusal)
    : library_(library),
      handle_(std::move(handle)),
      subdevice_(subdevice),
      channelCount_(channelCount),
      subdeviceFlags_(subdeviceFlags),
      path_(std::move(path)),
      commandRefusal_(std::move(commandRefusal)),
      calibration_(nullptr, CalibrationDeleter{&library}) {
  // Referenced single-ended and bipolar, as the board driver starts, unless
  // the board declares it cannot measure against ground.
  unsigned aref = AREF_GROUND;
  if ((subdeviceFlags & (SDF_GROUND | SDF_COMMON | SDF_DIFF | SDF_OTHER)) != 0 &&
      (subdeviceFlags & SDF_GROUND) == 0) {
    aref = (subdeviceFlags & SDF_DIFF) != 0 ? AREF_DIFF : AREF_COMMON;
  }
  setup_ = ChannelSetup{aref, false};
}

ComediBoard::~ComediBoard() {
  Stop();
  outputs_.reset();
}

void ComediBoard::LoadCalibration() {
  calibration_.reset();
  // The path names the device file's number: a board moved to another
  // number finds its own file, or none.
  const std::string path = library_.GetDefaultCalibrationPath(handle_.get());
  if (!path.empty()) calibration_.reset(library_.ParseCalibrationFile(path.c_str()));
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
  const std::lock_guard lock(mutex_);
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
  const std::lock_guard lock(mutex_);
  timeoutTicks_ = ticks;
  return kDaqNoError;
}

DaqStatus ComediBoard::Start(const AcquisitionRequest& request) {
  const std::lock_guard lock(mutex_);
  StopLocked();
  stopAsked_ = false;
  outputRefusedLast_ = false;
  refusal_.clear();
  if (!commandRefusal_.empty()) {
    refusal_ = commandRefusal_;
    return kDeviceSupportError;
  }
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
    if (std::isfinite(scanRate) && scanRate > 0.0) {
      refusal_ = ScanRateBeyondSampleRate(sampleRate, scanRate, channels);
    }
    return kBadIntervalError;
  }
  const double convertNs = 1e9 / sampleRate;
  const double scanNs = scanRate > 0.0 ? 1e9 / scanRate : static_cast<double>(channels) * convertNs;

  LoadCalibration();
  auto run = std::make_unique<Run>();
  // Some drivers take channel lists in ascending order only (and say that a
  // channel does not exist otherwise): the board converts them in that order.
  run->slots.resize(channels);
  std::iota(run->slots.begin(), run->slots.end(), std::size_t{0});
  std::stable_sort(run->slots.begin(), run->slots.end(), [&](std::size_t a, std::size_t b) {
    return request.channels[a] < request.channels[b];
  });
  run->reordered = !std::is_sorted(request.channels.begin(), request.channels.end());
  run->scan.resize(channels);
  run->handed = channels;
  for (const std::size_t slot : run->slots) {
    const auto chan = static_cast<unsigned>(request.channels[slot]);
    RangeChoice choice;
    if (DaqStatus status = ChooseRange(chan, request.gain, &choice); status != kDaqNoError) {
      return status;
    }
    run->chanlist.push_back(CR_PACK(chan, choice.index, choice.aref));
    run->codecs.push_back(choice.codec);
  }
  run_ = std::move(run);
  const DaqStatus status = RunCommand(*run_, convertNs, scanNs, scanRate > 0.0, request.scans);
  // A command that started and then failed is cancelled here.
  if (status != kDaqNoError) StopLocked();
  if (status == kDaqNoError && outputs_ != nullptr) outputs_->InputStarted();
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

  // Stage 3 of a command test brings the arguments within the board's
  // limits; stage 4 rounds them to its clock's ticks. A scan period moved by
  // the limits cannot be had; one rounded gives the rate really used.
  const double wantedScanNs = scanNs;
  bool scanLimited = BeyondArgument(scanNs);
  bool convertSlowed = cmd.convert_src == TRIG_TIMER && convertNs < kMinPeriodNs / 2;
  int stage = -1;
  for (int test = 0; test < kMaxCommandTests && stage != 0; ++test) {
    const comedi_cmd before = cmd;
    stage = library_.CommandTest(handle_.get(), &cmd);
    if (stage < 0) return LibraryError();
    if (stage == 1 || stage == 2) {
      return needsScanClock ? kBadIntervalError : ComediStatus(ECMDNOTSUPP);
    }
    if (stage == 5) return kBadChanError;
    if (stage != 0 && stage != 3 && stage != 4) return kInvalidValueError;
    if (stage == 3) {
      scanLimited = scanLimited || ScanPeriodNs(cmd) != ScanPeriodNs(before);
      convertSlowed =
          convertSlowed || (cmd.convert_src == TRIG_TIMER && cmd.convert_arg > before.convert_arg);
    }
  }
  if (stage != 0) return kBadIntervalError;
  if (cmd.chanlist_len != length || cmd.scan_end_arg != length) return kBadChanError;
  if (cmd.stop_src != stopSource || cmd.stop_arg != stopCount) return kBadCountError;
  const double settledScanNs = ScanPeriodNs(cmd);
  if (scanLimited) {
    refusal_ = "La cadence demandée (" + PerSecond(wantedScanNs) + ") ";
    refusal_ += settledScanNs > wantedScanNs
                    ? "dépasse ce que la carte peut faire : au plus "
                    : "est plus lente que ce que la carte peut faire : au moins ";
    refusal_ += PerSecond(settledScanNs) + " avec " + std::to_string(length) +
                (length > 1 ? " voies" : " voie") + " (un balayage toutes les " +
                RateText(settledScanNs * 1e-9) + " s).";
    return kBadIntervalError;
  }
  // A scan may convert faster than asked (its channels then come closer
  // together, each at the scan rate), never slower.
  if (convertSlowed && length > 1) {
    refusal_ = "La fréquence d'échantillonnage demandée (" + RateText(1e9 / convertNs) +
               " par seconde) dépasse ce que la carte peut faire : au plus " +
               RateText(1e9 / cmd.convert_arg) + " conversions par seconde.";
    return kBadIntervalError;
  }

  // What the board's clock really runs at: the records take it, and a
  // stream's reader needs it to place the readings in time.
  run.rateUsed = 1e9 / settledScanNs;
  // As the simulated board does, an acquisition that cannot end in time is
  // refused at once rather than after the whole time-out.
  const double durationNs = static_cast<double>(scans) * settledScanNs;
  const double timeoutMs = static_cast<double>(timeoutTicks_ * kMillisecondsPerTick);
  if (timeoutTicks_ >= 0 && scans != 0 && durationNs > timeoutMs * 1e6) {
    refusal_ = "L'acquisition durerait " + RateText(durationNs / 1e9) +
               " s, plus que le délai d'attente configuré (" + RateText(timeoutMs / 1000.0) +
               " s).";
    return kTimeOutError;
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

ReadResult ComediBoard::Read(std::span<BoardReading> readings) {
  const std::lock_guard lock(mutex_);
  if (run_ == nullptr) return {kInvalidValueError, 0};
  Run& run = *run_;
  if (run.failure != kDaqNoError) return {run.failure, 0};
  if (run.total == 0) SetDeadline(run);
  const ReadResult result = ReadReadings(run, readings);
  run.failure = result.status;
  return result;
}

ReadResult ComediBoard::ReadReadings(Run& run, std::span<BoardReading> readings) {
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
  const std::size_t length = run.codecs.size();
  const auto handOut = [&] {
    const std::size_t n = std::min(wanted - done, length - run.handed);
    std::copy_n(run.scan.begin() + static_cast<std::ptrdiff_t>(run.handed), n,
                readings.begin() + static_cast<std::ptrdiff_t>(done));
    run.handed += n;
    done += n;
  };
  while (done < wanted) {
    if (run.reordered && run.handed < length) {
      handOut();
      continue;
    }
    if (stopAsked_) return finish(kInvalidValueError);
    int waitMs = kStopCheckMs;
    bool lastWait = false;
    if (!run.forever) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(run.deadline - Clock::now()).count();
      if (left <= 0) return finish(kTimeOutError);
      lastWait = left <= kStopCheckMs;
      if (lastWait) waitMs = static_cast<int>(left);
    }
    const int ready = library_.WaitReadable(run.fd, waitMs);
    if (ready == -EINTR) continue;
    if (ready < 0) return finish(StatusOfErrno(-ready));
    if (ready == 0) {
      if (lastWait) return finish(kTimeOutError);
      continue;
    }

    // Never more bytes than the readings wanted (or, when scans are put back
    // in order, than the scans that hold them): whatever is read is used.
    std::size_t samples = wanted - done;
    if (run.reordered) samples = (samples + length - 1) / length * length - run.position;
    const std::size_t missing = samples * sampleBytes - pending;
    const std::size_t want = std::min(kChunkBytes - pending, missing);
    const long got = library_.Read(run.fd, chunk + pending, want);
    if (got == -EINTR || got == -EAGAIN) continue;
    // Comedi ends a read with EPIPE when the driver stopped the acquisition
    // on an error: its buffer overflowing because the data was not read in
    // time, or the board's own (an NI board's FIFO overrun, for one).
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
      const BoardReading reading = run.codecs[run.position].ToReading(raw);
      if (!run.reordered) {
        readings[done++] = reading;
      } else {
        run.scan[run.slots[run.position]] = reading;
      }
      if (++run.position == length) {
        run.position = 0;
        if (run.reordered) {
          run.handed = 0;
          handOut();
        }
      }
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

bool ComediBoard::CalibrationMissing() const {
  if ((subdeviceFlags_ & SDF_SOFT_CALIBRATED) == 0) return false;
  const std::string file = library_.GetDefaultCalibrationPath(handle_.get());
  comedi_calibration_t* calibration =
      file.empty() ? nullptr : library_.ParseCalibrationFile(file.c_str());
  if (calibration == nullptr) return true;
  library_.CleanupCalibration(calibration);
  return false;
}

std::string ComediBoard::DescriptionRemark() const {
  std::string remark = outputs_ != nullptr ? outputs_->Remark() : std::string();
  if (!CalibrationMissing()) return remark;
  return " (non étalonnée : lancer « sudo comedi_soft_calibrate -f " + path_ + " »)" + remark;
}

std::string ComediBoard::BriefRemark() const {
  return CalibrationMissing() ? ", non étalonnée" : std::string();
}

double ComediBoard::RateUsed() const {
  const std::lock_guard lock(mutex_);
  return run_ != nullptr ? run_->rateUsed : 0.0;
}

void ComediBoard::Stop() {
  stopAsked_ = true;
  const std::lock_guard lock(mutex_);
  StopLocked();
}

void ComediBoard::StopLocked() {
  if (run_ != nullptr && run_->commandRunning) library_.Cancel(handle_.get(), subdevice_);
  run_.reset();
}

DaqStatus ComediBoard::ScaleFor(int channel, std::int16_t gain, VoltScale& scale) {
  const std::lock_guard lock(mutex_);
  if (!ValidChannel(channel)) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  const auto chan = static_cast<unsigned>(channel);
  RangeChoice choice;
  if (DaqStatus status = ChooseRange(chan, gain, &choice); status != kDaqNoError) return status;

  LoadCalibration();
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

std::vector<OutputDescription> ComediBoard::Outputs() const {
  return outputs_ != nullptr ? outputs_->Describe() : std::vector<OutputDescription>{};
}

DaqStatus ComediBoard::StartOutput(const OutputRequest& request) {
  if (outputs_ == nullptr) return kNoOutputError;
  outputRefusedLast_ = true;
  return outputs_->Start(request);
}

DaqStatus ComediBoard::WriteOutput(std::span<const double> volts) {
  return outputs_ != nullptr ? outputs_->Write(volts) : kNoOutputError;
}

DaqStatus ComediBoard::StopOutput() {
  return outputs_ != nullptr ? outputs_->Stop() : kNoOutputError;
}

DaqStatus ComediBoard::ZeroOutputs() {
  return outputs_ != nullptr ? outputs_->Zero() : kNoOutputError;
}

std::string ComediBoard::StatusMessage(DaqStatus status) const {
  if (outputRefusedLast_ && outputs_ != nullptr) {
    const std::string refusal = outputs_->Refusal();
    if (!refusal.empty()) return refusal;
  }
  if (!refusal_.empty() &&
      (status == kBadIntervalError || status == kTimeOutError || status == kDeviceSupportError)) {
    return refusal_;
  }
  return ComediStatusMessage(status);
}

ComediProbe ComediProbe::Open(ComediLibrary& library, const std::string& path) {
  // The device file's name, for a brief description: the dialog's strip has no room for more.
  const std::string file = std::filesystem::path(path).filename().string();
  ComediBoard::Handle handle(library.Open(path.c_str()), ComediBoard::HandleCloser{&library});
  if (handle == nullptr) {
    const int errnum = library.Errno();
    // No file, or a Comedi minor that no board is attached to.
    if (errnum == ENOENT || errnum == ENODEV || errnum == ENXIO) return {};
    return {std::make_unique<UnreachableBoard>(StatusOfErrno(errnum)),
            "Carte Comedi " + path + " inaccessible : " + ComediErrorText(errnum),
            file + " inaccessible"};
  }
  const int subdevice = library.FindSubdeviceByType(handle.get(), COMEDI_SUBD_AI, 0);
  if (subdevice < 0) return {};
  const auto sub = static_cast<unsigned>(subdevice);
  const int flags = library.GetSubdeviceFlags(handle.get(), sub);
  const int channels = library.GetNChannels(handle.get(), sub);
  if (flags < 0 || channels <= 0) {
    const int errnum = library.Errno();
    return {std::make_unique<UnreachableBoard>(StatusOfErrno(errnum)),
            "Carte Comedi " + path + " inaccessible : " + ComediErrorText(errnum),
            file + " inaccessible"};
  }
  const std::string driver = NameOrQuestionMark(library.GetDriverName(handle.get()));
  const std::string boardName = NameOrQuestionMark(library.GetBoardName(handle.get()));
  std::string description = "Carte Comedi " + path + " : " + driver + ", " + boardName;
  std::string brief = "Comedi " + boardName;

  // Acquisitions need commands on the subdevice that read(2) reads from.
  std::string commandRefusal;
  if ((flags & SDF_CMD_READ) == 0) {
    commandRefusal = "La carte Comedi " + path +
                     " ne peut pas faire d'acquisition cadencée : son pilote ne lui permet pas "
                     "les commandes. Une carte ISA doit être configurée avec son interruption, "
                     "par exemple « comedi_config " +
                     path + " " + driver + " 0x220,5 ».";
  } else if (library.GetReadSubdevice(handle.get()) != subdevice &&
             library.SetReadSubdevice(handle.get(), sub) < 0) {
    commandRefusal = "La carte Comedi " + path +
                     " ne peut pas faire d'acquisition cadencée : ses entrées analogiques "
                     "(sous-périphérique " +
                     std::to_string(sub) +
                     ") ne sont pas celles que lit son fichier, et comedilib n'a pas pu les "
                     "choisir (" +
                     ComediErrorText(library.Errno()) + ").";
  }
  if (!commandRefusal.empty()) {
    description += " (acquisition cadencée impossible)";
    brief += ", sans cadence";
  }

  const int maxBytes = library.GetMaxBufferSize(handle.get(), sub);
  const int bytes = library.GetBufferSize(handle.get(), sub);
  const int wanted = std::min(maxBytes, kWantedBufferBytes);
  if (bytes >= 0 && bytes < wanted) {
    // A smaller buffer still works at moderate rates.
    library.SetBufferSize(handle.get(), sub, static_cast<unsigned>(wanted));
  }

  std::unique_ptr<ComediOutputs> outputs = ComediOutputs::Open(library, handle.get(), path);
  auto* comedi = new ComediBoard(library, std::move(handle), sub, std::min(channels, INT16_MAX),
                                 flags, path, std::move(commandRefusal));
  std::unique_ptr<Board> board(comedi);
  comedi->outputs_ = std::move(outputs);
  return {std::move(board), std::move(description), std::move(brief)};
}

void AttachComediBoards(Boards& boards, ComediLibrary& library, std::string_view pathPrefix) {
  for (int i = 0; i < kComediDeviceFiles; ++i) {
    const auto device = static_cast<std::int16_t>(i + 1);
    ComediProbe probe = ComediProbe::Open(library, std::string(pathPrefix) + std::to_string(i));
    if (probe.board != nullptr) {
      boards.Attach(device, std::move(probe.board), probe.description, probe.brief);
    }
  }
}

}  // namespace tavril
