#include "acquisition/daq_status.h"

namespace tavril {
namespace {

struct StatusText {
  DaqStatus status;
  std::string_view name;
  std::string_view explanation;
};

constexpr StatusText kStatusTexts[] = {
    {kDaqNoError, "noError", "L'opération a réussi."},
    {kInvalidValueError, "invalidValueError", "Un des paramètres a une valeur non valide."},
    {kBadDeviceError, "badDeviceError", "Le numéro de périphérique n'est pas valide."},
    {kBadChanError, "badChanError", "Le numéro de voie n'existe pas sur cette carte."},
    {kBadCountError, "badCountError", "Le nombre de points demandé n'est pas valide."},
    {kBadIntervalError, "badIntervalError",
     "La fréquence d'échantillonnage ou de balayage ne peut pas être obtenue par la carte."},
    {kBadPolarityError, "badPolarityError", "La polarité demandée n'existe pas sur cette carte."},
    {kBadInputModeError, "badInputModeError",
     "Le mode d'entrée demandé n'existe pas sur cette carte."},
    {kBadGainError, "badGainError", "Le gain demandé n'existe pas sur cette carte."},
    {kDeviceNotFoundError, "deviceNotFoundError",
     "Aucune carte ne répond à ce numéro de périphérique."},
    {kDeviceSupportError, "deviceSupportError", "La carte ne peut pas faire ce qui est demandé."},
    {kMemFullError, "memFullError", "La mémoire manque pour cette acquisition."},
    {kTimeOutError, "timeOutError",
     "L'acquisition dure plus longtemps que le délai d'attente configuré."},
    {kOverWriteError, "overWriteError",
     "Le tampon de la carte a débordé : les mesures n'ont pas été lues à temps."},
    {kNoOutputError, "noOutputError", "Cette carte n'a pas de sortie analogique."},
    {kOutputUnderrunError, "outputUnderrunError",
     "La sortie analogique a manqué de valeurs : elle a été arrêtée et mise à 0 V."},
};

bool IsComediStatus(DaqStatus status) {
  return status <= kComediStatusBase && status >= kComediStatusBase - kMaxComediErrnum;
}

const StatusText* Find(DaqStatus status) {
  for (const StatusText& text : kStatusTexts) {
    if (text.status == status) return &text;
  }
  return nullptr;
}

}  // namespace

DaqStatus ComediStatus(int errnum) {
  if (errnum < 1 || errnum > kMaxComediErrnum) return kComediStatusBase;
  return static_cast<DaqStatus>(kComediStatusBase - errnum);
}

int ComediErrnum(DaqStatus status) {
  return IsComediStatus(status) ? kComediStatusBase - status : 0;
}

std::string_view DaqStatusName(DaqStatus status) {
  if (IsComediStatus(status)) return "comediError";
  const StatusText* text = Find(status);
  if (text != nullptr) return text->name;
  return status > 0 ? "unknownWarning" : "unknownError";
}

std::string_view DaqStatusExplanation(DaqStatus status) {
  if (IsComediStatus(status)) return "La carte Comedi signale une erreur.";
  const StatusText* text = Find(status);
  if (text != nullptr) return text->explanation;
  return status > 0 ? "La carte signale un avertissement inconnu."
                    : "La carte signale une erreur inconnue.";
}

std::string DaqStatusMessage(DaqStatus status) {
  const int errnum = ComediErrnum(status);
  if (errnum == 0) return std::string(DaqStatusExplanation(status));
  return "La carte Comedi signale l'erreur n° " + std::to_string(errnum) + ".";
}

}  // namespace tavril
