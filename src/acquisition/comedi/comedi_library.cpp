#include "acquisition/comedi/comedi_library.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tavril {
namespace {

class SystemLibrary final : public ComediLibrary {
 public:
  comedi_t* Open(const char* path) override { return comedi_open(path); }
  int Close(comedi_t* device) override { return comedi_close(device); }
  int Errno() override { return comedi_errno(); }

  const char* GetDriverName(comedi_t* device) override { return comedi_get_driver_name(device); }
  const char* GetBoardName(comedi_t* device) override { return comedi_get_board_name(device); }
  int FindSubdeviceByType(comedi_t* device, int type, unsigned start) override {
    return comedi_find_subdevice_by_type(device, type, start);
  }
  int GetSubdeviceFlags(comedi_t* device, unsigned subdevice) override {
    return comedi_get_subdevice_flags(device, subdevice);
  }
  int GetReadSubdevice(comedi_t* device) override { return comedi_get_read_subdevice(device); }
  int SetReadSubdevice(comedi_t* device, unsigned subdevice) override {
    return comedi_set_read_subdevice(device, subdevice);
  }
  int GetWriteSubdevice(comedi_t* device) override { return comedi_get_write_subdevice(device); }
  int SetWriteSubdevice(comedi_t* device, unsigned subdevice) override {
    return comedi_set_write_subdevice(device, subdevice);
  }
  int GetNChannels(comedi_t* device, unsigned subdevice) override {
    return comedi_get_n_channels(device, subdevice);
  }
  lsampl_t GetMaxdata(comedi_t* device, unsigned subdevice, unsigned chan) override {
    return comedi_get_maxdata(device, subdevice, chan);
  }
  int GetNRanges(comedi_t* device, unsigned subdevice, unsigned chan) override {
    return comedi_get_n_ranges(device, subdevice, chan);
  }
  comedi_range* GetRange(comedi_t* device, unsigned subdevice, unsigned chan,
                         unsigned range) override {
    return comedi_get_range(device, subdevice, chan, range);
  }
  int GetMaxBufferSize(comedi_t* device, unsigned subdevice) override {
    return comedi_get_max_buffer_size(device, subdevice);
  }
  int GetBufferSize(comedi_t* device, unsigned subdevice) override {
    return comedi_get_buffer_size(device, subdevice);
  }
  int SetBufferSize(comedi_t* device, unsigned subdevice, unsigned bytes) override {
    return comedi_set_buffer_size(device, subdevice, bytes);
  }

  int GetCmdGenericTimed(comedi_t* device, unsigned subdevice, comedi_cmd* cmd,
                         unsigned chanlistLength, unsigned scanPeriodNs) override {
    return comedi_get_cmd_generic_timed(device, subdevice, cmd, chanlistLength, scanPeriodNs);
  }
  int CommandTest(comedi_t* device, comedi_cmd* cmd) override {
    return comedi_command_test(device, cmd);
  }
  int Command(comedi_t* device, comedi_cmd* cmd) override { return comedi_command(device, cmd); }
  int Cancel(comedi_t* device, unsigned subdevice) override {
    return comedi_cancel(device, subdevice);
  }
  int InternalTrigger(comedi_t* device, unsigned subdevice, unsigned trignum) override {
    return comedi_internal_trigger(device, subdevice, trignum);
  }
  int DataWrite(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range, unsigned aref,
                lsampl_t data) override {
    return comedi_data_write(device, subdevice, chan, range, aref, data);
  }
  int Fileno(comedi_t* device) override { return comedi_fileno(device); }

  std::string GetDefaultCalibrationPath(comedi_t* device) override {
    char* path = comedi_get_default_calibration_path(device);
    if (path == nullptr) return {};
    std::string copy(path);
    std::free(path);
    return copy;
  }
  comedi_calibration_t* ParseCalibrationFile(const char* path) override {
    return comedi_parse_calibration_file(path);
  }
  void CleanupCalibration(comedi_calibration_t* calibration) override {
    comedi_cleanup_calibration(calibration);
  }
  int ApplyParsedCalibration(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range,
                             unsigned aref, const comedi_calibration_t* calibration) override {
    return comedi_apply_parsed_calibration(device, subdevice, chan, range, aref, calibration);
  }
  int GetSoftcalConverter(unsigned subdevice, unsigned chan, unsigned range,
                          comedi_conversion_direction direction,
                          const comedi_calibration_t* calibration,
                          comedi_polynomial_t* polynomial) override {
    return comedi_get_softcal_converter(subdevice, chan, range, direction, calibration, polynomial);
  }
  int GetHardcalConverter(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range,
                          comedi_conversion_direction direction,
                          comedi_polynomial_t* polynomial) override {
    return comedi_get_hardcal_converter(device, subdevice, chan, range, direction, polynomial);
  }

  long Read(int fd, void* buffer, std::size_t bytes) override {
    const ssize_t got = ::read(fd, buffer, bytes);
    return got < 0 ? -errno : static_cast<long>(got);
  }
  int WaitReadable(int fd, int timeoutMs) override {
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    return ready < 0 ? -errno : ready;
  }
  long Write(int fd, const void* buffer, std::size_t bytes) override {
    const ssize_t put = ::write(fd, buffer, bytes);
    return put < 0 ? -errno : static_cast<long>(put);
  }
  int WaitWritable(int fd, int timeoutMs) override {
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    return ready < 0 ? -errno : ready;
  }
};

}  // namespace

ComediLibrary& SystemComediLibrary() {
  static SystemLibrary library;
  return library;
}

}  // namespace tavril
