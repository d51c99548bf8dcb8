#include "fake_comedi.h"

#include <comedi_errno.h>
#include <gtest/gtest.h>

#include "acquisition/comedi/comedi_outputs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace tavril::testing {
namespace {

constexpr int kFirstFd = 100;

comedi_range Volts(double min, double max) {
  return comedi_range{min, max, UNIT_volt};
}

// The nearest multiple of `tick` that an argument holds.
unsigned RoundToTick(unsigned ns, unsigned tick) {
  const std::uint64_t rounded = (std::uint64_t{ns} + tick / 2) / tick * tick;
  return static_cast<unsigned>(std::min<std::uint64_t>(rounded, UINT_MAX / tick * tick));
}

// Brings `arg` within [low, high]; true when it moved.
bool Limit(unsigned& arg, std::uint64_t low, std::uint64_t high) {
  const auto limited =
      static_cast<unsigned>(std::clamp<std::uint64_t>(arg, low, std::max(low, high)));
  const bool moved = limited != arg;
  arg = limited;
  return moved;
}

std::uint64_t ScanNs(const comedi_cmd& cmd) {
  return cmd.scan_begin_src == TRIG_TIMER ? cmd.scan_begin_arg
                                          : std::uint64_t{cmd.convert_arg} * cmd.chanlist_len;
}

// The bytes a stream has made due by now (all of a finite command's),
// noting an overflow.
std::size_t DueBytes(FakeComediDevice& fake) {
  if (fake.command.stop_src != TRIG_NONE) return fake.stream.size();
  const std::size_t scanBytes = fake.stream.size() / fake.streamScans;
  const std::size_t due = (fake.nanoseconds / ScanNs(fake.command) + 1) * scanBytes;
  if (due - fake.delivered > fake.bufferBytes) {
    fake.overflowAt = std::min(fake.overflowAt, fake.delivered + fake.bufferBytes);
  }
  return std::min({due, fake.overflowAt, fake.stream.size()});
}

}  // namespace

std::vector<comedi_range> ESeriesRanges() {
  return {Volts(-10, 10),   Volts(-5, 5),       Volts(-2.5, 2.5), Volts(-1, 1),
          Volts(-0.5, 0.5), Volts(-0.25, 0.25), Volts(-0.1, 0.1), Volts(-0.05, 0.05),
          Volts(0, 20),     Volts(0, 10),       Volts(0, 5),      Volts(0, 2),
          Volts(0, 1),      Volts(0, 0.5),      Volts(0, 0.2),    Volts(0, 0.1)};
}

void ModelNiMio(FakeComediDevice& device, unsigned aiSpeedNs, unsigned aoSpeedNs) {
  device.hasAnalogOutput = true;
  device.aoMinPeriodNs = aoSpeedNs;
  device.aoMaxPeriodNs = 50u * 0xFFFFFF;
  device.aoTickNs = 50;
  device.aoMaxStopCount = 0xFFFFFF;
  device.aoStartsWithInput = true;
  device.tickNs = 50;
  device.minConvertNs = aiSpeedNs;
  device.maxConvertNs = 50u * 0xFFFF;
  device.maxScanNs = 50u * 0xFFFFFF;
  device.maxStopCount = 0x1000000;
  device.canFollow = false;
  device.hasScanClock = true;
}

void ModelComediTest(FakeComediDevice& device) {
  device.driver = "comedi_test";
  device.board = "comedi_test";
  device.flags = SDF_READABLE | SDF_CMD_READ | SDF_GROUND;
  device.channels = 8;
  device.maxdata = 0xFFFF;
  device.ranges = {Volts(-10, 10), Volts(-5, 5)};
  device.hasAnalogOutput = true;
  device.aoChannels = 8;
  device.aoMaxPeriodNs = UINT_MAX / 1000 * 1000;
  device.tickNs = 1000;
  device.minConvertNs = 1000;
  device.canFollow = true;
  device.hasScanClock = true;
  device.sample = [&device](unsigned chan, unsigned range, std::size_t scan) -> lsampl_t {
    constexpr std::uint64_t kPeriodUs = 100000;
    constexpr double kAmplitudeVolts = 1.0;
    const comedi_range& r = device.ranges.at(range);
    const double amplitude = device.maxdata * kAmplitudeVolts / (r.max - r.min);
    const double offset = device.maxdata / 2;
    const std::uint64_t us = scan * ScanNs(device.command) / 1000 % kPeriodUs;
    double code = offset;
    if (chan == 0) code = offset - amplitude + 2.0 * amplitude * us / kPeriodUs;
    if (chan == 1) code = us < kPeriodUs / 2 ? offset - amplitude : offset + amplitude;
    return static_cast<lsampl_t>(std::clamp(code, 0.0, static_cast<double>(device.maxdata)));
  };
}

std::vector<comedi_range> MSeriesRanges() {
  return {Volts(-10, 10),   Volts(-5, 5),     Volts(-2, 2),    Volts(-1, 1),
          Volts(-0.5, 0.5), Volts(-0.2, 0.2), Volts(-0.1, 0.1)};
}

std::vector<lsampl_t> FakeComediLibrary::RawStream(const FakeComediDevice& device) {
  const bool longSamples = (device.flags & SDF_LSAMPL) != 0;
  const std::size_t size = longSamples ? sizeof(lsampl_t) : sizeof(sampl_t);
  std::vector<lsampl_t> raw;
  for (std::size_t at = 0; at + size <= device.stream.size(); at += size) {
    if (longSamples) {
      lsampl_t value = 0;
      std::memcpy(&value, device.stream.data() + at, size);
      raw.push_back(value);
    } else {
      sampl_t value = 0;
      std::memcpy(&value, device.stream.data() + at, size);
      raw.push_back(value);
    }
  }
  return raw;
}

void FakeComediLibrary::TakeOutput(FakeComediDevice& fake, std::size_t updates) {
  const std::lock_guard lock(mutex_);
  const std::size_t scan = fake.aoChanlist.size();
  for (std::size_t i = 0; i < updates && fake.aoRunning && fake.aoStarted; ++i) {
    if (fake.aoWritten.size() - fake.aoTaken < scan) {
      fake.aoRunning = false;
      fake.aoFailed = true;
      break;
    }
    for (std::size_t j = 0; j < scan; ++j) {
      fake.aoHeld[CR_CHAN(fake.aoChanlist[j])] = fake.aoWritten[fake.aoTaken++];
    }
    const bool counted = fake.aoCommand.stop_src == TRIG_COUNT;
    if (counted && fake.aoTaken / scan == fake.aoCommand.stop_arg) fake.aoRunning = false;
  }
}

std::map<unsigned, lsampl_t> FakeComediLibrary::Held(const FakeComediDevice& device) {
  const std::lock_guard lock(mutex_);
  return device.aoHeld;
}

comedi_t* FakeComediLibrary::Open(const char* path) {
  const auto found = devices.find(path);
  if (found == devices.end()) {
    Fail(ENOENT);
    return nullptr;
  }
  FakeComediDevice& device = found->second;
  if (device.openErrno != 0) {
    Fail(device.openErrno);
    return nullptr;
  }
  ++device.opened;
  return reinterpret_cast<comedi_t*>(&device);
}

int FakeComediLibrary::Close(comedi_t* device) {
  ++Of(device).closed;
  return 0;
}

const char* FakeComediLibrary::GetDriverName(comedi_t* device) {
  return Of(device).driver.c_str();
}

const char* FakeComediLibrary::GetBoardName(comedi_t* device) {
  return Of(device).board.c_str();
}

int FakeComediLibrary::FindSubdeviceByType(comedi_t* device, int type, unsigned start) {
  const FakeComediDevice& fake = Of(device);
  if (type == COMEDI_SUBD_AO && fake.hasAnalogOutput && start <= fake.aoSubdevice) {
    return static_cast<int>(fake.aoSubdevice);
  }
  if (type != COMEDI_SUBD_AI || !fake.hasAnalogInput || start > fake.subdevice) {
    return Fail(ENODEV);
  }
  return static_cast<int>(fake.subdevice);
}

int FakeComediLibrary::GetSubdeviceFlags(comedi_t* device, unsigned subdevice) {
  const std::lock_guard lock(mutex_);
  const FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && subdevice == fake.aoSubdevice) {
    return fake.aoFlags | (fake.aoBusy ? SDF_BUSY : 0) | (fake.aoRunning ? SDF_RUNNING : 0);
  }
  return subdevice == fake.subdevice ? fake.flags : Fail(EINVAL_SUBD);
}

int FakeComediLibrary::GetReadSubdevice(comedi_t* device) {
  return Of(device).readSubdevice;
}

int FakeComediLibrary::SetReadSubdevice(comedi_t* device, unsigned subdevice) {
  FakeComediDevice& fake = Of(device);
  if (!fake.readSubdeviceSettable) return Fail(EINVAL);
  fake.readSubdevice = static_cast<int>(subdevice);
  return 0;
}

int FakeComediLibrary::GetNChannels(comedi_t* device, unsigned subdevice) {
  const FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && subdevice == fake.aoSubdevice) return fake.aoChannels;
  return subdevice == fake.subdevice ? fake.channels : Fail(EINVAL_SUBD);
}

lsampl_t FakeComediLibrary::GetMaxdata(comedi_t* device, unsigned, unsigned chan) {
  const FakeComediDevice& fake = Of(device);
  if (chan >= static_cast<unsigned>(fake.channels)) {
    Fail(EINVAL_CHAN);
    return 0;
  }
  return fake.maxdata;
}

int FakeComediLibrary::GetNRanges(comedi_t* device, unsigned subdevice, unsigned chan) {
  const FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && subdevice == fake.aoSubdevice) {
    return static_cast<int>(fake.aoRanges.size());
  }
  if (chan >= static_cast<unsigned>(fake.channels)) return Fail(EINVAL_CHAN);
  return static_cast<int>(fake.ranges.size());
}

comedi_range* FakeComediLibrary::GetRange(comedi_t* device, unsigned subdevice, unsigned,
                                          unsigned range) {
  FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && subdevice == fake.aoSubdevice) {
    return range < fake.aoRanges.size() ? &fake.aoRanges[range] : nullptr;
  }
  if (range >= fake.ranges.size()) {
    Fail(EINVAL);
    return nullptr;
  }
  return &fake.ranges[range];
}

int FakeComediLibrary::GetMaxBufferSize(comedi_t*, unsigned) {
  return 1 << 20;
}

int FakeComediLibrary::GetBufferSize(comedi_t* device, unsigned) {
  return static_cast<int>(Of(device).bufferBytes);
}

int FakeComediLibrary::SetBufferSize(comedi_t* device, unsigned, unsigned bytes) {
  Of(device).bufferBytes = bytes;
  return static_cast<int>(bytes);
}

// As comedilib builds it, before the caller's changes.
int FakeComediLibrary::GetCmdGenericTimed(comedi_t* device, unsigned subdevice, comedi_cmd* cmd,
                                          unsigned chanlistLength, unsigned scanPeriodNs) {
  const FakeComediDevice& fake = Of(device);
  if (fake.genericTimedErrno != 0) return Fail(fake.genericTimedErrno);
  // The kernel refuses commands to a subdevice without do_cmd.
  if ((fake.flags & SDF_CMD_READ) == 0) return Fail(EIO);
  *cmd = comedi_cmd{};
  cmd->subdev = subdevice;
  cmd->start_src = TRIG_NOW;
  cmd->convert_src = TRIG_TIMER;
  cmd->convert_arg = (scanPeriodNs + chanlistLength / 2) / chanlistLength;
  if (fake.canFollow) {
    cmd->scan_begin_src = TRIG_FOLLOW;
  } else {
    cmd->scan_begin_src = TRIG_TIMER;
    cmd->scan_begin_arg = scanPeriodNs;
  }
  cmd->scan_end_src = TRIG_COUNT;
  cmd->scan_end_arg = chanlistLength;
  cmd->stop_src = TRIG_COUNT;
  cmd->stop_arg = 2;
  cmd->chanlist_len = chanlistLength;
  return 0;
}

// Stages as a driver's command test: 1 sources, 3 arguments brought within
// limits, 4 arguments rounded, 5 channel list.
int FakeComediLibrary::CommandTest(comedi_t* device, comedi_cmd* cmd) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && cmd->subdev == fake.aoSubdevice) return OutputCommandTest(fake, cmd);
  fake.commandTests.push_back(*cmd);
  if (fake.commandTestErrno != 0) return Fail(fake.commandTestErrno);
  if ((fake.flags & SDF_CMD_READ) == 0) return Fail(EIO);

  const bool scanBeginOk = (cmd->scan_begin_src == TRIG_FOLLOW && fake.canFollow) ||
                           (cmd->scan_begin_src == TRIG_TIMER && fake.hasScanClock);
  if (cmd->start_src != TRIG_NOW || !scanBeginOk || cmd->convert_src != TRIG_TIMER ||
      cmd->scan_end_src != TRIG_COUNT ||
      (cmd->stop_src != TRIG_COUNT && cmd->stop_src != TRIG_NONE)) {
    return 1;
  }

  const unsigned length = std::max(cmd->chanlist_len, 1u);
  bool adjusted = Limit(cmd->convert_arg, fake.minConvertNs, fake.maxConvertNs);
  if (cmd->scan_begin_src == TRIG_TIMER) {
    adjusted |=
        Limit(cmd->scan_begin_arg, std::uint64_t{fake.minConvertNs} * length, fake.maxScanNs);
  }
  if (cmd->stop_src == TRIG_COUNT) adjusted |= Limit(cmd->stop_arg, 1, fake.maxStopCount);
  if (adjusted) return 3;

  const unsigned convert = RoundToTick(cmd->convert_arg, fake.tickNs);
  unsigned scan = cmd->scan_begin_arg;
  if (cmd->scan_begin_src == TRIG_TIMER) {
    scan = std::max(RoundToTick(scan, fake.tickNs), convert * length);
  }
  if (convert != cmd->convert_arg || scan != cmd->scan_begin_arg) {
    cmd->convert_arg = convert;
    cmd->scan_begin_arg = scan;
    return 4;
  }

  if (cmd->chanlist_len > fake.maxChanlist) return 5;
  for (unsigned i = 1; i < cmd->chanlist_len && fake.ascendingOnly; ++i) {
    if (CR_CHAN(cmd->chanlist[i]) <= CR_CHAN(cmd->chanlist[i - 1])) return 5;
  }
  const int arefFlags[] = {SDF_GROUND, SDF_COMMON, SDF_DIFF, SDF_OTHER};
  for (unsigned i = 0; i < cmd->chanlist_len && cmd->chanlist != nullptr; ++i) {
    const unsigned entry = cmd->chanlist[i];
    if (CR_CHAN(entry) >= static_cast<unsigned>(fake.channels) ||
        CR_RANGE(entry) >= fake.ranges.size() || (fake.flags & arefFlags[CR_AREF(entry)]) == 0) {
      return 5;
    }
  }
  return 0;
}

// As ni_ao_cmdtest and waveform_ao_cmdtest check an output command.
int FakeComediLibrary::OutputCommandTest(FakeComediDevice& fake, comedi_cmd* cmd) {
  const bool startOk =
      cmd->start_src == TRIG_INT || (cmd->start_src == TRIG_EXT && fake.aoStartsWithInput);
  if (!startOk || cmd->scan_begin_src != TRIG_TIMER || cmd->convert_src != TRIG_NOW ||
      cmd->scan_end_src != TRIG_COUNT ||
      (cmd->stop_src != TRIG_COUNT && cmd->stop_src != TRIG_NONE)) {
    return 1;
  }
  bool adjusted = cmd->start_src == TRIG_EXT &&
                  CR_CHAN(cmd->start_arg) != tavril::ComediOutputs::kNiAiStartTrigger;
  adjusted |= Limit(cmd->scan_begin_arg, fake.aoMinPeriodNs, fake.aoMaxPeriodNs);
  adjusted |= Limit(cmd->convert_arg, 0, 0);
  adjusted |= Limit(cmd->scan_end_arg, cmd->chanlist_len, cmd->chanlist_len);
  adjusted |= cmd->stop_src == TRIG_COUNT ? Limit(cmd->stop_arg, 1, fake.aoMaxStopCount)
                                          : Limit(cmd->stop_arg, 0, 0);
  if (adjusted) return 3;
  const unsigned period = RoundToTick(cmd->scan_begin_arg, fake.aoTickNs);
  if (period != cmd->scan_begin_arg) {
    cmd->scan_begin_arg = period;
    return 4;
  }
  return 0;
}

int FakeComediLibrary::Command(comedi_t* device, comedi_cmd* cmd) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && cmd->subdev == fake.aoSubdevice) {
    if (fake.commandErrno != 0) return Fail(fake.commandErrno);
    if (fake.aoBusy) return Fail(EBUSY);
    fake.aoCommand = *cmd;
    fake.aoChanlist.assign(cmd->chanlist, cmd->chanlist + cmd->chanlist_len);
    fake.aoCommand.chanlist = nullptr;
    fake.aoWritten.clear();
    fake.aoTaken = 0;
    fake.aoBusy = fake.aoRunning = true;
    fake.aoArmed = fake.aoStarted = fake.aoFailed = false;
    return 0;
  }
  if (fake.commandErrno != 0) return Fail(fake.commandErrno);
  // The input's start starts an output armed on it.
  fake.aoStarted |= fake.aoArmed;
  fake.aoArmed = false;
  ++fake.commands;
  fake.command = *cmd;
  fake.chanlist.assign(cmd->chanlist, cmd->chanlist + cmd->chanlist_len);
  fake.command.chanlist = nullptr;

  const bool longSamples = (fake.flags & SDF_LSAMPL) != 0;
  fake.stream.clear();
  fake.delivered = 0;
  fake.nanoseconds = 0;
  fake.overflowAt = std::numeric_limits<std::size_t>::max();
  const std::size_t scans = cmd->stop_src == TRIG_NONE ? fake.streamScans : cmd->stop_arg;
  for (std::size_t scan = 0; scan < scans; ++scan) {
    for (const unsigned entry : fake.chanlist) {
      const lsampl_t raw = fake.sample(CR_CHAN(entry), CR_RANGE(entry), scan);
      unsigned char bytes[sizeof(lsampl_t)];
      std::size_t size = sizeof(lsampl_t);
      if (longSamples) {
        std::memcpy(bytes, &raw, size);
      } else {
        const auto shortRaw = static_cast<sampl_t>(raw);
        size = sizeof(sampl_t);
        std::memcpy(bytes, &shortRaw, size);
      }
      fake.stream.insert(fake.stream.end(), bytes, bytes + size);
    }
  }
  return 0;
}

int FakeComediLibrary::Cancel(comedi_t* device, unsigned subdevice) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = Of(device);
  if (fake.hasAnalogOutput && subdevice == fake.aoSubdevice) {
    fake.aoBusy = fake.aoRunning = fake.aoArmed = fake.aoStarted = false;
    return 0;
  }
  ++fake.cancels;
  return 0;
}

// ni_ao_inttrig: values first; a start from the input's start is armed.
int FakeComediLibrary::InternalTrigger(comedi_t* device, unsigned subdevice, unsigned trignum) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = Of(device);
  if (subdevice != fake.aoSubdevice || !fake.aoRunning || trignum != 0 || fake.aoStarted ||
      fake.aoArmed) {
    return Fail(EINVAL);
  }
  if (fake.aoWritten.empty()) return Fail(EPIPE);
  (fake.aoCommand.start_src == TRIG_EXT ? fake.aoArmed : fake.aoStarted) = true;
  return 0;
}

int FakeComediLibrary::DataWrite(comedi_t* device, unsigned subdevice, unsigned chan, unsigned,
                                 unsigned, lsampl_t data) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = Of(device);
  if (subdevice != fake.aoSubdevice || fake.aoBusy) return Fail(EBUSY);
  fake.aoHeld[chan] = data;
  return 1;
}

int FakeComediLibrary::Fileno(comedi_t* device) {
  int fd = kFirstFd;
  for (auto& [path, fake] : devices) {
    if (&fake == &Of(device)) return fd;
    ++fd;
  }
  return Fail(EBAD_CT);
}

FakeComediDevice& FakeComediLibrary::OfFd(int fd) {
  auto it = devices.begin();
  std::advance(it, fd - kFirstFd);
  return it->second;
}

std::string FakeComediLibrary::GetDefaultCalibrationPath(comedi_t* device) {
  return Of(device).calibrationPath;
}

comedi_calibration_t* FakeComediLibrary::ParseCalibrationFile(const char* path) {
  for (auto& [devicePath, fake] : devices) {
    if (fake.calibrationFileExists && fake.calibrationPath == path) return &fake.calibration;
  }
  Fail(ENOENT);
  return nullptr;
}

void FakeComediLibrary::CleanupCalibration(comedi_calibration_t*) {}

int FakeComediLibrary::ApplyParsedCalibration(comedi_t* device, unsigned, unsigned chan,
                                              unsigned range, unsigned aref,
                                              const comedi_calibration_t* calibration) {
  FakeComediDevice& fake = Of(device);
  EXPECT_EQ(&fake.calibration, calibration);
  fake.appliedCalibrations.push_back({chan, range, aref});
  return 0;
}

int FakeComediLibrary::GetSoftcalConverter(unsigned subdevice, unsigned, unsigned,
                                           comedi_conversion_direction direction,
                                           const comedi_calibration_t* calibration,
                                           comedi_polynomial_t* polynomial) {
  for (auto& [path, fake] : devices) {
    if (&fake.calibration != calibration) continue;
    const bool output = direction == COMEDI_FROM_PHYSICAL;
    EXPECT_EQ(output, fake.hasAnalogOutput && subdevice == fake.aoSubdevice);
    if (!(output ? fake.hasAoSoftcal : fake.hasSoftcal)) break;
    *polynomial = output ? fake.aoSoftcal : fake.softcal;
    return 0;
  }
  return Fail(EINVAL);
}

int FakeComediLibrary::GetHardcalConverter(comedi_t* device, unsigned, unsigned, unsigned,
                                           comedi_conversion_direction direction,
                                           comedi_polynomial_t* polynomial) {
  EXPECT_EQ(COMEDI_TO_PHYSICAL, direction);
  const FakeComediDevice& fake = Of(device);
  if (!fake.hasHardcal) return Fail(EINVAL);
  *polynomial = fake.hardcal;
  return 0;
}

long FakeComediLibrary::Read(int fd, void* buffer, std::size_t bytes) {
  FakeComediDevice& fake = OfFd(fd);
  // The file reads the read subdevice, which runs no command.
  if (static_cast<int>(fake.command.subdev) != fake.readSubdevice) return -EINVAL;
  std::size_t limit = std::min(DueBytes(fake), fake.stallAfterBytes);
  if (fake.delivered >= fake.overflowAt) return -EPIPE;
  if (fake.readErrno != 0) {
    if (fake.delivered >= fake.readFailAfterBytes) return -fake.readErrno;
    limit = std::min(limit, fake.readFailAfterBytes);
  }
  const std::size_t n = std::min({bytes, fake.readChunkBytes, limit - fake.delivered});
  std::memcpy(buffer, fake.stream.data() + fake.delivered, n);
  fake.delivered += n;
  return static_cast<long>(n);
}

int FakeComediLibrary::WaitReadable(int fd, int timeoutMs) {
  FakeComediDevice& fake = OfFd(fd);
  fake.waits.push_back(timeoutMs);
  if (fake.command.stop_src == TRIG_NONE && DueBytes(fake) == fake.delivered &&
      fake.delivered < fake.overflowAt) {
    fake.nanoseconds = (fake.nanoseconds / ScanNs(fake.command) + 1) * ScanNs(fake.command);
  }
  if (fake.delivered >= fake.stallAfterBytes && !fake.endEarly) {
    if (timeoutMs == -1) {
      ADD_FAILURE() << "a stalled board waited on for ever";
      return -EIO;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return 0;
  }
  return 1;
}

long FakeComediLibrary::Write(int fd, const void* buffer, std::size_t bytes) {
  const std::lock_guard lock(mutex_);
  FakeComediDevice& fake = OfFd(fd);
  if (fake.writeSubdevice != static_cast<int>(fake.aoSubdevice) || !fake.aoBusy) return -EINVAL;
  if (fake.aoFailed) return -EPIPE;
  if (!fake.aoRunning) return 0;
  const std::size_t room = fake.aoBufferSamples - (fake.aoWritten.size() - fake.aoTaken);
  if (room == 0) {
    ADD_FAILURE() << "a write that waits for room poll did not give";
    return -EAGAIN;
  }
  const std::size_t n = std::min(bytes / sizeof(sampl_t), room);
  const auto* data = static_cast<const sampl_t*>(buffer);
  fake.aoWritten.insert(fake.aoWritten.end(), data, data + n);
  return static_cast<long>(n * sizeof(sampl_t));
}

// A started command's full buffer empties by a quarter while the caller waits.
int FakeComediLibrary::WaitWritable(int fd, int timeoutMs) {
  std::unique_lock lock(mutex_);
  FakeComediDevice& fake = OfFd(fd);
  if (!fake.aoRunning || fake.aoWritten.size() - fake.aoTaken < fake.aoBufferSamples) return 1;
  if (timeoutMs == 0 || !fake.aoStarted) return 0;
  lock.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  TakeOutput(fake, fake.aoBufferSamples / 4 / fake.aoChanlist.size());
  return 1;
}

}  // namespace tavril::testing
