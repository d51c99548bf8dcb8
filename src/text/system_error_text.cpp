#include "text/system_error_text.h"

#include <cerrno>
#include <cstring>

namespace tavril {

std::string SystemErrorText(int error) {
  switch (error) {
    case ENOENT:
      return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM:
      return "accès refusé";
    case EISDIR:
      return "c'est un dossier";
    case ENODEV:
    case EINVAL:
      return "ce n'est pas un fichier ordinaire";
    case ENOSPC:
      return "disque plein";
    case EDQUOT:
      return "quota de disque dépassé";
    case EROFS:
      return "système de fichiers en lecture seule";
    case EFBIG:
      return "fichier trop grand";
    case ELOOP:
      return "trop de liens symboliques";
    case ENAMETOOLONG:
      return "nom trop long";
    case EIO:
      return "erreur d'entrée-sortie du disque";
    default:
      return std::strerror(error);
  }
}

}  // namespace tavril
