#pragma once

#include <comedilib.h>

#include <cstddef>
#include <string>

namespace tavril {

// The comedilib functions a Comedi board calls, one method per function with
// the library's arguments and results, and the two system calls made on the
// device's file descriptor (read and write on the input and output sides).
// The program uses comedilib itself
// (SystemComediLibrary); tests put a fake board behind this table.
class ComediLibrary {
 public:
  virtual ~ComediLibrary() = default;

  virtual comedi_t* Open(const char* path) = 0;
  virtual int Close(comedi_t* device) = 0;
  // comedi_errno: the error number of the last failed call.
  virtual int Errno() = 0;

  virtual const char* GetDriverName(comedi_t* device) = 0;
  virtual const char* GetBoardName(comedi_t* device) = 0;
  virtual int FindSubdeviceByType(comedi_t* device, int type, unsigned start) = 0;
  virtual int GetSubdeviceFlags(comedi_t* device, unsigned subdevice) = 0;
  // The subdevice read(2) on the device file reads from, and the choice of it.
  virtual int GetReadSubdevice(comedi_t* device) = 0;
  virtual int SetReadSubdevice(comedi_t* device, unsigned subdevice) = 0;
  // The same for the subdevice write(2) writes to.
  virtual int GetWriteSubdevice(comedi_t* device) = 0;
  virtual int SetWriteSubdevice(comedi_t* device, unsigned subdevice) = 0;
  virtual int GetNChannels(comedi_t* device, unsigned subdevice) = 0;
  virtual lsampl_t GetMaxdata(comedi_t* device, unsigned subdevice, unsigned chan) = 0;
  virtual int GetNRanges(comedi_t* device, unsigned subdevice, unsigned chan) = 0;
  virtual comedi_range* GetRange(comedi_t* device, unsigned subdevice, unsigned chan,
                                 unsigned range) = 0;
  virtual int GetMaxBufferSize(comedi_t* device, unsigned subdevice) = 0;
  virtual int GetBufferSize(comedi_t* device, unsigned subdevice) = 0;
  virtual int SetBufferSize(comedi_t* device, unsigned subdevice, unsigned bytes) = 0;

  virtual int GetCmdGenericTimed(comedi_t* device, unsigned subdevice, comedi_cmd* cmd,
                                 unsigned chanlistLength, unsigned scanPeriodNs) = 0;
  virtual int CommandTest(comedi_t* device, comedi_cmd* cmd) = 0;
  virtual int Command(comedi_t* device, comedi_cmd* cmd) = 0;
  virtual int Cancel(comedi_t* device, unsigned subdevice) = 0;
  virtual int InternalTrigger(comedi_t* device, unsigned subdevice, unsigned trignum) = 0;
  // comedi_data_write: one code to one output, outside any command.
  virtual int DataWrite(comedi_t* device, unsigned subdevice, unsigned chan, unsigned range,
                        unsigned aref, lsampl_t data) = 0;
  virtual int Fileno(comedi_t* device) = 0;

  // comedi_get_default_calibration_path, copied; empty when there is none.
  virtual std::string GetDefaultCalibrationPath(comedi_t* device) = 0;
  // Null when the file is missing or unreadable (never calibrated).
  virtual comedi_calibration_t* ParseCalibrationFile(const char* path) = 0;
  virtual void CleanupCalibration(comedi_calibration_t* calibration) = 0;
  virtual int ApplyParsedCalibration(comedi_t* device, unsigned subdevice, unsigned chan,
                                     unsigned range, unsigned aref,
                                     const comedi_calibration_t* calibration) = 0;
  virtual int GetSoftcalConverter(unsigned subdevice, unsigned chan, unsigned range,
                                  comedi_conversion_direction direction,
                                  const comedi_calibration_t* calibration,
                                  comedi_polynomial_t* polynomial) = 0;
  virtual int GetHardcalConverter(comedi_t* device, unsigned subdevice, unsigned chan,
                                  unsigned range, comedi_conversion_direction direction,
                                  comedi_polynomial_t* polynomial) = 0;

  // read(2): the bytes read, 0 once the command has ended and its data is
  // all read, or -errno.
  virtual long Read(int fd, void* buffer, std::size_t bytes) = 0;
  // poll(2) for input: > 0 when there is data (or an error or the end) to
  // read, 0 when timeoutMs passed first (-1 waits for ever), or -errno.
  virtual int WaitReadable(int fd, int timeoutMs) = 0;
  // write(2): the bytes the buffer had room for (at least one when poll said
  // so), 0 once the command has ended, or -errno (-EPIPE: it ended on an
  // error, an underrun for one).
  virtual long Write(int fd, const void* buffer, std::size_t bytes) = 0;
  // poll(2) for output: > 0 when there is room (or the command has ended),
  // 0 when timeoutMs passed first, or -errno.
  virtual int WaitWritable(int fd, int timeoutMs) = 0;
};

// comedilib itself. It holds no state of its own.
ComediLibrary& SystemComediLibrary();

}  // namespace tavril
