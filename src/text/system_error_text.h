#pragma once

#include <string>

namespace tavril {

// What a system error number means, in French, for the user: the usual file
// errors in the program's own words, others in the C library's.
std::string SystemErrorText(int error);

}  // namespace tavril
