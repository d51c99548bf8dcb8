#include "acquisition/comedi/comedi_error_text.h"

#include <comedilib.h>

namespace tavril {

std::string ComediErrorText(int errnum) {
  const char* text = comedi_strerror(errnum);
  if (text != nullptr) return text;
  return "erreur n° " + std::to_string(errnum);
}

std::string ComediStatusMessage(DaqStatus status) {
  // Reads report with this status every stop of the driver on an error.
  if (status == kOverWriteError) {
    return "Le pilote Comedi a arrêté l'acquisition : son tampon a débordé (les mesures "
           "n'ont pas été lues à temps) ou la carte a signalé une erreur (débordement de sa "
           "FIFO, par exemple). Le journal du noyau en dit plus : « sudo dmesg ».";
  }
  const int errnum = ComediErrnum(status);
  if (errnum == 0) return DaqStatusMessage(status);
  return "La carte Comedi signale : " + ComediErrorText(errnum);
}

}  // namespace tavril
