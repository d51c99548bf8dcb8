#pragma once

#include <string>

namespace tavril {

// comedilib's text for its error number `errnum` (comedi_strerror), or a
// plain number in a build without comedilib.
std::string ComediErrorText(int errnum);

}  // namespace tavril
