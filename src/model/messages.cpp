#include "model/messages.h"

namespace tavril::messages {

std::string LoadOverMasterQuestion(int masterChannel) {
  return "Actuellement le canal maitre est \"" + std::to_string(masterChannel) +
         "\"\n\nLe chargement se fera donc dans la memoire alloué à ce canal.\n"
         "Et donc toutes valeurs précédemment chargées sur ce canal seront écraser.\n\n"
         "Etes vous sure de vouloir continuer?";
}

std::string FileDialogError(unsigned long errorCode) {
  return "Le code d'erreur est: " + std::to_string(errorCode);
}

std::string OpenError(std::string_view fileTitle) {
  return "Erreur lors de l'ouverture du fichier : " + std::string(fileTitle);
}

std::string SaveError(std::string_view fileTitle) {
  return "Erreur lors de la sauvegarde du fichier : " + std::string(fileTitle);
}

std::string HelpViewerError(std::string_view systemReason) {
  return "Erreur lors de l'ouverture du fichier d'aide\nErreur de type : " +
         std::string(systemReason) +
         "\n\nVeuillez vérifiez que le logiciel pour lire les fichiers HTML est bien "
         "configuré\n->option / Options avancés / viewer d'HTML";
}

std::string BoardErrorQuestion(int status, std::string_view statusName, std::string_view callLabel,
                               std::string_view statusMessage) {
  return std::string(callLabel) + " a renvoyé l'erreur " + std::to_string(status) + " (" +
         std::string(statusName) + ") :\n" + std::string(statusMessage) +
         "\n\nVoulez-vous continuer?";
}

std::string ChannelRatesDiffer(int a, int b, int result) {
  return "Les canaux " + std::to_string(a) + " et " + std::to_string(b) +
         " n'ont pas la même fréquence d'échantillonnage.\nLe canal " + std::to_string(result) +
         " n'a pas été modifié.";
}

std::string ImportOverSamplesQuestion(std::string_view channels, bool several) {
  return (several ? "Les canaux " + std::string(channels) + " contiennent"
                  : "Le canal " + std::string(channels) + " contient") +
         " des échantillons.\nL'importation les remplacera.\n\n"
         "Etes vous sure de vouloir continuer?";
}

std::string WithReason(std::string message, std::string_view reason) {
  if (!reason.empty()) message += "\n" + std::string(reason);
  return message;
}

std::string ScaleRefused(std::string_view fieldLabel) {
  return "Valeur refusée pour « " + std::string(fieldLabel) + " » : tapez un nombre supérieur à 0.";
}

}  // namespace tavril::messages
