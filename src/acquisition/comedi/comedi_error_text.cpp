#include "acquisition/comedi/comedi_error_text.h"

#include <comedilib.h>

namespace tavril {

std::string ComediErrorText(int errnum) {
  const char* text = comedi_strerror(errnum);
  if (text != nullptr) return text;
  return "erreur n° " + std::to_string(errnum);
}

std::string ComediStatusMessage(DaqStatus status) {
  const int errnum = ComediErrnum(status);
  if (errnum == 0) return DaqStatusMessage(status);
  return "La carte Comedi signale : " + ComediErrorText(errnum);
}

}  // namespace tavril
