#pragma once

#include <string>

#include "acquisition/daq_status.h"

namespace tavril {

// comedilib's text for its error number `errnum` (comedi_strerror).
std::string ComediErrorText(int errnum);

// The line a Comedi board shows for `status`: comedilib's text for a status
// that carries an error number, its own for the driver stopping the
// acquisition (overWriteError), the driver's explanation for any other.
std::string ComediStatusMessage(DaqStatus status);

}  // namespace tavril
