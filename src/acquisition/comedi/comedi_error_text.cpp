#include "acquisition/comedi/comedi_error_text.h"

#ifdef TAVRIL_HAVE_COMEDI
#include <comedilib.h>
#endif

namespace tavril {

std::string ComediErrorText(int errnum) {
#ifdef TAVRIL_HAVE_COMEDI
  const char* text = comedi_strerror(errnum);
  if (text != nullptr) return text;
#endif
  return "erreur n° " + std::to_string(errnum);
}

}  // namespace tavril
