#include "acquisition/comedi/comedi_outputs.h"

#include <comedi_errno.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

#include "acquisition/comedi/comedi_error_text.h"
#include "text/rate_text.h"

namespace tavril {
namespace {

constexpr int kMaxCommandTests = 8;
constexpr std::size_t kChunkBytes = 16 * 1024;

// A range in volts that holds 0 V, where a stopped output goes.
bool VoltsAroundZero(const comedi_range& range) {
  return range.unit == UNIT_volt && range.min <= 0.0 && range.max >= 0.0;
}

// A command on `subdevice` updating `chanlist` every `periodNs`.
comedi_cmd OutputCommand(unsigned subdevice, std::vector<unsigned>& chanlist, unsigned periodNs) {
  comedi_cmd cmd{};
  cmd.subdev = subdevice;
  cmd.flags = CMDF_WRITE;
  cmd.start_src = TRIG_INT;
  cmd.scan_begin_src = TRIG_TIMER;
  cmd.scan_begin_arg = periodNs;
  cmd.convert_src = TRIG_NOW;
  cmd.scan_end_src = TRIG_COUNT;
  cmd.scan_end_arg = static_cast<unsigned>(chanlist.size());
  cmd.stop_src = TRIG_NONE;
  cmd.chanlist = chanlist.data();
  cmd.chanlist_len = static_cast<unsigned>(chanlist.size());
  return cmd;
}

// The narrowest range holding low to high, else the widest; each holds 0 V.
int ChooseRange(const std::vector<comedi_range>& ranges, bool known, double low, double high) {
  int chosen = -1;
  bool chosenHolds = false;
  double chosenSpan = 0.0;
  for (std::size_t r = 0; r < ranges.size(); ++r) {
    if (!VoltsAroundZero(ranges[r])) continue;
    const double span = ranges[r].max - ranges[r].min;
    const bool holds = known && ranges[r].min <= low && ranges[r].max >= high;
    if (chosen < 0 || (holds && (!chosenHolds || span < chosenSpan)) ||
        (!holds && !chosenHolds && span > chosenSpan)) {
      chosen = static_cast<int>(r);
      chosenHolds = holds;
      chosenSpan = span;
    }
  }
  return chosen;
}

std::string UpdatesPerSecond(double ns) {
  return RateText(1e9 / ns) + " mises à jour par seconde";
}

}  // namespace

// Volts to the code one output holds for them.
struct ComediOutputs::Conversion {
  comedi_range range{};
  lsampl_t maxdata = 0;
  bool calibrated = false;
  comedi_polynomial_t polynomial{};

  lsampl_t Code(double volts) const {
    const double held = std::clamp(volts, range.min, range.max);
    if (calibrated) return std::min(comedi_from_physical(held, &polynomial), maxdata);
    comedi_range copy = range;
    return comedi_from_phys(held, &copy, maxdata);
  }
};

struct ComediOutputs::Run {
  OutputMode mode = OutputMode::kFinite;
  unsigned range = 0;
  std::vector<unsigned> chanlist;
  std::vector<Conversion> conversions;  // by position in the chanlist
  std::size_t sampleBytes = sizeof(sampl_t);
  // Finite: every update and the 0 V one after them; regenerated: one period.
  std::vector<unsigned char> bytes;
  std::size_t sent = 0;  // bytes written; regenerated: taken modulo the period
  bool waitsForInput = false;
  bool triggered = false;
  bool inputStarted = false;
  bool underran = false;
  DaqStatus failure = kDaqNoError;  // a write that failed otherwise
  bool ended = false;
  bool stopAsked = false;
  std::condition_variable wake;
  std::thread feeder;

  std::size_t ScanBytes() const { return sampleBytes * chanlist.size(); }
  bool Running() const { return triggered && (!waitsForInput || inputStarted); }

  void Encode(std::span<const double> volts, std::vector<unsigned char>& out) const {
    out.resize(volts.size() * sampleBytes);
    for (std::size_t i = 0; i < volts.size(); ++i) {
      const lsampl_t code = conversions[i % conversions.size()].Code(volts[i]);
      if (sampleBytes == sizeof(lsampl_t)) {
        std::memcpy(&out[i * sampleBytes], &code, sizeof code);
      } else {
        const auto shortCode = static_cast<sampl_t>(code);
        std::memcpy(&out[i * sampleBytes], &shortCode, sizeof shortCode);
      }
    }
  }
};

std::unique_ptr<ComediOutputs> ComediOutputs::Open(ComediLibrary& library, comedi_t* device,
                                                   const std::string& path) {
  const int found = library.FindSubdeviceByType(device, COMEDI_SUBD_AO, 0);
  if (found < 0) return nullptr;
  const auto subdevice = static_cast<unsigned>(found);
  const int flags = library.GetSubdeviceFlags(device, subdevice);
  const int channels = library.GetNChannels(device, subdevice);
  if (flags < 0 || channels <= 0) return nullptr;
  std::string refusal;
  if ((flags & SDF_CMD_WRITE) == 0) {
    refusal = "Les sorties analogiques de la carte Comedi " + path +
              " ne peuvent pas être cadencées : son pilote ne leur permet pas les commandes "
              "(une carte ISA doit être configurée avec son interruption).";
  } else if (library.GetWriteSubdevice(device) != found &&
             library.SetWriteSubdevice(device, subdevice) < 0) {
    refusal = "Les sorties analogiques de la carte Comedi " + path +
              " ne peuvent pas être cadencées : comedilib n'a pas pu les choisir pour l'écriture "
              "(" +
              ComediErrorText(library.Errno()) + ").";
  }
  std::unique_ptr<ComediOutputs> outputs(
      new ComediOutputs(library, device, subdevice, channels, flags, std::move(refusal)));
  if (!outputs->commandRefusal_.empty()) return outputs;
  outputs->fd_ = library.Fileno(device);
  // The shortest period the driver takes, and whether it starts a command
  // from the input's start, from the command test of a one-output command.
  std::vector<unsigned> chanlist{CR_PACK(0, 0, AREF_GROUND)};
  comedi_cmd fastest = OutputCommand(subdevice, chanlist, 1);
  if (outputs->TestCommand(fastest) == 0) outputs->maxUpdateRate_ = 1e9 / fastest.scan_begin_arg;
  comedi_cmd aligned = OutputCommand(subdevice, chanlist, fastest.scan_begin_arg);
  aligned.start_src = TRIG_EXT;
  aligned.start_arg = kNiAiStartTrigger;
  outputs->followsInputs_ = outputs->TestCommand(aligned) == 0;
  return outputs;
}

ComediOutputs::ComediOutputs(ComediLibrary& library, comedi_t* device, unsigned subdevice,
                             int channels, int flags, std::string commandRefusal)
    : library_(library),
      device_(device),
      subdevice_(subdevice),
      channels_(channels),
      flags_(flags),
      commandRefusal_(std::move(commandRefusal)) {}

ComediOutputs::~ComediOutputs() {
  Stop();
}

DaqStatus ComediOutputs::LibraryError() const {
  const int errnum = library_.Errno();
  return ComediStatus(errnum > 0 ? errnum : EUNKNOWN);
}

std::vector<comedi_range> ComediOutputs::Ranges() const {
  std::vector<comedi_range> ranges;
  const int count = library_.GetNRanges(device_, subdevice_, 0);
  for (int r = 0; r < count; ++r) {
    const comedi_range* range = library_.GetRange(device_, subdevice_, 0, static_cast<unsigned>(r));
    // An index that gives no range stays in its place, in no unit.
    ranges.push_back(range != nullptr ? *range : comedi_range{0, 0, UNIT_none});
  }
  return ranges;
}

int ComediOutputs::TestCommand(comedi_cmd& cmd, bool* periodLimited) const {
  int stage = -1;
  for (int test = 0; test < kMaxCommandTests && stage != 0; ++test) {
    const unsigned startArg = cmd.start_arg;
    const unsigned periodNs = cmd.scan_begin_arg;
    stage = library_.CommandTest(device_, &cmd);
    // Stage 3 brings the period within the driver's limits; stage 4 only rounds it.
    if (stage == 3 && cmd.scan_begin_arg != periodNs && periodLimited != nullptr) {
      *periodLimited = true;
    }
    // A start the driver refuses or moves is not the one asked.
    if (stage < 0 || stage == 1 || stage == 2 || stage == 5 || cmd.start_arg != startArg) break;
  }
  return stage;
}

std::vector<OutputDescription> ComediOutputs::Describe() const {
  std::vector<OutputRange> ranges;
  for (const comedi_range& range : Ranges()) {
    if (range.unit == UNIT_volt) ranges.push_back({range.min, range.max});
  }
  const lsampl_t maxdata = library_.GetMaxdata(device_, subdevice_, 0);
  std::vector<OutputDescription> outputs;
  for (int chan = 0; chan < channels_; ++chan) {
    outputs.push_back({chan, static_cast<int>(std::bit_width(maxdata)), ranges, maxUpdateRate_});
  }
  return outputs;
}

std::string ComediOutputs::Remark() const {
  if (!commandRefusal_.empty() || followsInputs_) return {};
  return " (sorties analogiques : une sortie démarrée avec l'acquisition démarre aussitôt, sans "
         "alignement sur les entrées)";
}

std::string ComediOutputs::Refusal() const {
  const std::lock_guard lock(mutex_);
  return refusal_;
}

std::vector<ComediOutputs::Conversion> ComediOutputs::Conversions(
    const std::vector<unsigned>& chanlist, const comedi_range& range) {
  comedi_calibration_t* calibration = nullptr;
  const std::string file = library_.GetDefaultCalibrationPath(device_);
  if (!file.empty()) calibration = library_.ParseCalibrationFile(file.c_str());
  std::vector<Conversion> conversions;
  for (const unsigned entry : chanlist) {
    Conversion conversion;
    conversion.range = range;
    conversion.maxdata = library_.GetMaxdata(device_, subdevice_, CR_CHAN(entry));
    if (calibration != nullptr && (flags_ & SDF_SOFT_CALIBRATED) != 0) {
      conversion.calibrated = library_.GetSoftcalConverter(
                                  subdevice_, CR_CHAN(entry), CR_RANGE(entry), COMEDI_FROM_PHYSICAL,
                                  calibration, &conversion.polynomial) >= 0;
    } else if (calibration != nullptr) {
      library_.ApplyParsedCalibration(device_, subdevice_, CR_CHAN(entry), CR_RANGE(entry),
                                      CR_AREF(entry), calibration);
    }
    conversions.push_back(conversion);
  }
  if (calibration != nullptr) library_.CleanupCalibration(calibration);
  return conversions;
}

DaqStatus ComediOutputs::BuildRun(const OutputRequest& request, Run& run) {
  const std::size_t perUpdate = request.channels.size();
  if (perUpdate == 0 || perUpdate > static_cast<std::size_t>(channels_)) return kBadChanError;
  for (const int chan : request.channels) {
    if (chan < 0 || chan >= channels_ ||
        std::count(request.channels.begin(), request.channels.end(), chan) > 1) {
      return kBadChanError;
    }
  }
  if (!(request.updateRate > 0.0 && std::isfinite(request.updateRate))) return kBadIntervalError;
  if (request.volts.size() % perUpdate != 0) return kBadCountError;
  if (request.mode != OutputMode::kStreamed && request.volts.empty()) return kBadCountError;
  if (!std::all_of(request.volts.begin(), request.volts.end(),
                   [](double v) { return std::isfinite(v); })) {
    return kInvalidValueError;
  }

  // The narrowest range that holds the values asked gives them the finest
  // codes; a streamed run's values to come are unknown.
  const std::vector<comedi_range> ranges = Ranges();
  const bool known = request.mode != OutputMode::kStreamed;
  const auto [low, high] = std::minmax_element(request.volts.begin(), request.volts.end());
  const int chosen = ChooseRange(ranges, known, known ? *low : 0.0, known ? *high : 0.0);
  if (chosen < 0) return kDeviceSupportError;
  run.mode = request.mode;
  run.range = static_cast<unsigned>(chosen);
  run.sampleBytes = (flags_ & SDF_LSAMPL) != 0 ? sizeof(lsampl_t) : sizeof(sampl_t);

  for (const int chan : request.channels) {
    run.chanlist.push_back(CR_PACK(static_cast<unsigned>(chan), run.range, AREF_GROUND));
  }
  run.conversions = Conversions(run.chanlist, ranges[run.range]);

  if (request.mode == OutputMode::kFinite) {
    std::vector<double> volts = request.volts;
    volts.insert(volts.end(), perUpdate, 0.0);
    run.Encode(volts, run.bytes);
  } else if (request.mode == OutputMode::kRegenerated) {
    run.Encode(request.volts, run.bytes);
  }
  return kDaqNoError;
}

DaqStatus ComediOutputs::RunCommand(const OutputRequest& request, Run& run) {
  const double periodNs = 1e9 / request.updateRate;
  comedi_cmd cmd = OutputCommand(
      subdevice_, run.chanlist,
      static_cast<unsigned>(std::llround(std::clamp(periodNs, 1.0, double{UINT_MAX}))));
  std::size_t updates = 0;
  if (request.mode == OutputMode::kFinite) {
    updates = run.bytes.size() / run.ScanBytes();
    if (updates > UINT_MAX) return kBadCountError;
    cmd.stop_src = TRIG_COUNT;
    cmd.stop_arg = static_cast<unsigned>(updates);
  }
  run.waitsForInput = request.startWithInput && followsInputs_;
  if (run.waitsForInput) {
    cmd.start_src = TRIG_EXT;
    cmd.start_arg = kNiAiStartTrigger;
  }
  const comedi_cmd asked = cmd;
  bool limited = periodNs > double{UINT_MAX};
  const int stage = TestCommand(cmd, &limited);
  if (stage < 0) return LibraryError();
  if (stage == 5) return kBadChanError;
  if (cmd.stop_arg != asked.stop_arg) return kBadCountError;
  if (limited) {
    refusal_ = "La cadence demandée (" + UpdatesPerSecond(periodNs) + ") ";
    refusal_ += cmd.scan_begin_arg > periodNs ? "dépasse ce que la sortie peut faire : au plus "
                                              : "est plus lente que ce que la sortie peut faire : "
                                                "au moins ";
    refusal_ += UpdatesPerSecond(cmd.scan_begin_arg) + ".";
    return kBadIntervalError;
  }
  if (stage != 0) return kInvalidValueError;
  if (library_.Command(device_, &cmd) < 0) return LibraryError();
  return kDaqNoError;
}

DaqStatus ComediOutputs::Start(const OutputRequest& request) {
  Stop();
  auto run = std::make_shared<Run>();
  std::unique_lock lock(mutex_);
  refusal_.clear();
  if (!commandRefusal_.empty()) {
    refusal_ = commandRefusal_;
    return kDeviceSupportError;
  }
  if (DaqStatus status = BuildRun(request, *run); status != kDaqNoError) return status;
  if (DaqStatus status = RunCommand(request, *run); status != kDaqNoError) return status;

  // The command has its first values before it is triggered.
  DaqStatus status = kDaqNoError;
  if (request.mode == OutputMode::kStreamed) {
    std::vector<unsigned char> bytes;
    run->Encode(request.volts, bytes);
    for (std::size_t done = 0; done < bytes.size() && status == kDaqNoError;) {
      const long put = library_.WaitWritable(fd_, 0) > 0
                           ? library_.Write(fd_, bytes.data() + done, bytes.size() - done)
                           : 0;
      if (put <= 0) status = put < 0 ? ComediStatus(static_cast<int>(-put)) : kMemFullError;
      if (put > 0) done += static_cast<std::size_t>(put);
    }
  } else {
    FillLocked(*run);
  }
  if (status == kDaqNoError && (request.mode != OutputMode::kStreamed || !request.volts.empty())) {
    status = TriggerLocked(*run);
  }
  if (status != kDaqNoError) {
    EndLocked(*run);
    return status;
  }
  run_ = run;
  run->feeder = std::thread([this, raw = run.get()] { Feed(*raw); });
  return kDaqNoError;
}

DaqStatus ComediOutputs::TriggerLocked(Run& run) {
  if (library_.InternalTrigger(device_, subdevice_, 0) < 0) return LibraryError();
  run.triggered = true;
  return kDaqNoError;
}

bool ComediOutputs::Wrote(Run& run, long result) {
  if (result > 0) {
    run.sent += static_cast<std::size_t>(result);
    return true;
  }
  if (result == -EINTR || result == -EAGAIN) return true;
  // Ended (0, or EPIPE on an error): out of values when it was to go on.
  if (result == 0 || result == -EPIPE) {
    run.underran = run.mode != OutputMode::kFinite || run.sent < run.bytes.size();
  } else {
    run.failure = ComediStatus(static_cast<int>(-result));
  }
  EndLocked(run);
  return false;
}

bool ComediOutputs::FillLocked(Run& run) {
  if (run.mode == OutputMode::kStreamed) return false;
  std::vector<unsigned char> chunk;
  while (!run.ended) {
    if (run.mode == OutputMode::kFinite && run.sent == run.bytes.size()) return false;
    if (library_.WaitWritable(fd_, 0) <= 0) return true;
    const unsigned char* data = run.bytes.data() + run.sent;
    std::size_t size = run.bytes.size() - run.sent;
    if (run.mode == OutputMode::kRegenerated) {
      // The period from where it was left, repeated to fill a chunk.
      const std::size_t period = run.bytes.size();
      chunk.resize(std::max(kChunkBytes / period, std::size_t{1}) * period);
      for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = run.bytes[(run.sent + i) % period];
      }
      data = chunk.data();
      size = chunk.size();
    }
    if (!Wrote(run, library_.Write(fd_, data, size))) return false;
  }
  return false;
}

void ComediOutputs::CheckLocked(Run& run) {
  if (run.ended || !run.triggered) return;
  const int flags = library_.GetSubdeviceFlags(device_, subdevice_);
  if (flags < 0 || (flags & SDF_RUNNING) != 0) return;
  // A finite command ends by itself once it had every value.
  run.underran = run.mode != OutputMode::kFinite || run.sent < run.bytes.size();
  EndLocked(run);
}

void ComediOutputs::EndLocked(Run& run) {
  run.ended = true;
  library_.Cancel(device_, subdevice_);
  for (std::size_t i = 0; i < run.chanlist.size(); ++i) {
    library_.DataWrite(device_, subdevice_, CR_CHAN(run.chanlist[i]), run.range, AREF_GROUND,
                       run.conversions[i].Code(0.0));
  }
}

void ComediOutputs::Feed(Run& run) {
  std::unique_lock lock(mutex_);
  while (!run.stopAsked && !run.ended) {
    const bool more = FillLocked(run);
    CheckLocked(run);
    if (run.stopAsked || run.ended) break;
    if (more && run.Running()) {
      lock.unlock();
      library_.WaitWritable(fd_, kStopCheckMs);
      lock.lock();
    } else {
      run.wake.wait_for(lock, std::chrono::milliseconds(kStopCheckMs));
    }
  }
}

DaqStatus ComediOutputs::Write(std::span<const double> volts) {
  std::unique_lock lock(mutex_);
  const std::shared_ptr<Run> shared = run_;
  if (shared == nullptr || shared->mode != OutputMode::kStreamed) return kInvalidValueError;
  Run& run = *shared;
  if (volts.size() % run.chanlist.size() != 0) return kBadCountError;
  if (!std::all_of(volts.begin(), volts.end(), [](double v) { return std::isfinite(v); })) {
    return kInvalidValueError;
  }
  std::vector<unsigned char> bytes;
  run.Encode(volts, bytes);
  std::size_t done = 0;
  while (true) {
    CheckLocked(run);
    if (run.underran) return kOutputUnderrunError;
    if (run.failure != kDaqNoError) return run.failure;
    if (run.ended || run.stopAsked) return kInvalidValueError;
    if (done == bytes.size()) break;
    if (library_.WaitWritable(fd_, 0) > 0) {
      const long put = library_.Write(fd_, bytes.data() + done, bytes.size() - done);
      if (put > 0) done += static_cast<std::size_t>(put);
      Wrote(run, put);
      continue;
    }
    // No room: an untriggered run starts now; one armed on the input's start
    // waits for that start, as for room.
    if (!run.triggered) {
      if (DaqStatus status = TriggerLocked(run); status != kDaqNoError) return status;
      continue;
    }
    lock.unlock();
    library_.WaitWritable(fd_, kStopCheckMs);
    lock.lock();
  }
  if (!run.triggered && done > 0) return TriggerLocked(run);
  return kDaqNoError;
}

void ComediOutputs::InputStarted() {
  const std::lock_guard lock(mutex_);
  if (run_ != nullptr && run_->triggered) run_->inputStarted = true;
}

DaqStatus ComediOutputs::Stop() {
  std::shared_ptr<Run> run;
  {
    const std::lock_guard lock(mutex_);
    run = std::move(run_);
    run_.reset();
    if (run == nullptr) return kDaqNoError;
    run->stopAsked = true;
  }
  run->wake.notify_all();
  if (run->feeder.joinable()) run->feeder.join();
  const std::lock_guard lock(mutex_);
  CheckLocked(*run);
  if (!run->ended) EndLocked(*run);
  return run->underran ? kOutputUnderrunError : run->failure;
}

DaqStatus ComediOutputs::Zero() {
  Stop();
  const std::lock_guard lock(mutex_);
  // Each output's 0 V in the widest range, calibrated where the board is.
  const std::vector<comedi_range> ranges = Ranges();
  const int widest = ChooseRange(ranges, false, 0.0, 0.0);
  if (widest < 0) return kDeviceSupportError;
  std::vector<unsigned> chanlist;
  for (int chan = 0; chan < channels_; ++chan) {
    chanlist.push_back(
        CR_PACK(static_cast<unsigned>(chan), static_cast<unsigned>(widest), AREF_GROUND));
  }
  const std::vector<Conversion> conversions =
      Conversions(chanlist, ranges[static_cast<std::size_t>(widest)]);
  DaqStatus status = kDaqNoError;
  for (std::size_t i = 0; i < chanlist.size(); ++i) {
    if (library_.DataWrite(device_, subdevice_, CR_CHAN(chanlist[i]), CR_RANGE(chanlist[i]),
                           AREF_GROUND, conversions[i].Code(0.0)) < 0 &&
        status == kDaqNoError) {
      status = LibraryError();
    }
  }
  return status;
}

}  // namespace tavril
