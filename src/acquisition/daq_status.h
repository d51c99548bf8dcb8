#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavril {

// Board statuses follow the board driver's convention: 0 success, negative
// an error, positive a warning. The numbers are the driver's own.
using DaqStatus = std::int16_t;

inline constexpr DaqStatus kDaqNoError = 0;
inline constexpr DaqStatus kInvalidValueError = -10003;
inline constexpr DaqStatus kBadDeviceError = -10005;
inline constexpr DaqStatus kBadChanError = -10007;
inline constexpr DaqStatus kBadCountError = -10010;
inline constexpr DaqStatus kBadIntervalError = -10011;
inline constexpr DaqStatus kBadPolarityError = -10044;
inline constexpr DaqStatus kBadInputModeError = -10045;
inline constexpr DaqStatus kBadGainError = -10080;
inline constexpr DaqStatus kDeviceNotFoundError = -10402;
// The board is there but cannot do what was asked of it.
inline constexpr DaqStatus kDeviceSupportError = -10403;
inline constexpr DaqStatus kMemFullError = -10444;
inline constexpr DaqStatus kTimeOutError = -10800;
// A stream's readings were overwritten before they were read.
inline constexpr DaqStatus kOverWriteError = -10846;

// Not driver numbers: the board has no analog output, and a streamed output
// ran out of values before they came.
inline constexpr DaqStatus kNoOutputError = -10960;
inline constexpr DaqStatus kOutputUnderrunError = -10961;

// A Comedi board's failed library or system call gives the status
// kComediStatusBase - errnum, errnum being the call's error number (1 to
// kMaxComediErrnum); kComediStatusBase itself when the call gave none. The
// range lies below every status of the board driver.
inline constexpr DaqStatus kComediStatusBase = -20000;
inline constexpr int kMaxComediErrnum = 12767;

DaqStatus ComediStatus(int errnum);

// The error number a Comedi status carries; 0 for kComediStatusBase and for
// every other status.
int ComediErrnum(DaqStatus status);

// The driver's name of a status ("timeOutError"); "unknownError" for numbers
// it does not know.
std::string_view DaqStatusName(DaqStatus status);

// One line of French saying what went wrong.
std::string_view DaqStatusExplanation(DaqStatus status);

// The line the user is shown: DaqStatusExplanation, except that a Comedi
// status names its error number (a Comedi board gives comedilib's own text).
std::string DaqStatusMessage(DaqStatus status);

}  // namespace tavril
