#pragma once

#include <string>
#include <string_view>

// Every text the program shows in a message box, and the boxes' captions, in
// one list: the words a user reads are found here, whichever window or
// operation shows them. Texts are UTF-8; "\r\n" and "\r" in the writers'
// texts are shown as line breaks.
namespace tavril::messages {

// Captions.
inline constexpr const char* kErreurBang = "ERREUR!";
inline constexpr const char* kErreur = "ERREUR";
inline constexpr const char* kErrorBang = "ERROR!";
inline constexpr const char* kError = "ERROR";
inline constexpr const char* kAttention = "Attention!";
inline constexpr const char* kAttentionLoud = "ATTENTION!";
inline constexpr const char* kDisplayCaption = "AFFICHAGE";
inline constexpr const char* kWriterCaption = "Exportation vers MatLab";
inline constexpr const char* kBoardErrorCaption = "Erreur de la carte d'acquisition";
inline constexpr const char* kAcquisitionCaption = "Acquisition";

// The main window.
inline constexpr const char* kQuitQuestion = "Etes vous sure de vouloir quitter?";
inline constexpr const char* kResetQuestion = "Etes vous sure de vouloir tout remettre à zéro";
std::string LoadOverMasterQuestion(int masterChannel);
std::string FileDialogError(unsigned long errorCode);
std::string OpenError(std::string_view fileTitle);
std::string SaveError(std::string_view fileTitle);
std::string HelpViewerError(std::string_view systemReason);

// Start-up and the configuration dialog.
inline constexpr const char* kConfigReadFallback =
    "Erreur lors de la lecture du fichier INI\nLe logiciel prend des valeurs par "
    "défaut\n\nVeuillez reconfigurer";
inline constexpr const char* kConfigReadError = "Erreur lors de la lecture du fichier INI";
inline constexpr const char* kConfigWriteError = "Erreur lors de l'ecriture du fichier INI";
inline constexpr const char* kBoardConfigurationError =
    "Probleme lors de la configuration de la carte";
inline constexpr const char* kBadDevice = "Numéro de DEVICE impossible\n\n -1< device < 10";
inline constexpr const char* kBadTimeout = "Valeur TIMEOUT impossible\n\n -1 <= timeout <= 232";

// The data-file writers.
inline constexpr const char* kOverwriteQuestion =
    "Ce fichier existe deja.\r\nVoulez-vous l'écraser?";
// The byte 0xAD of the original message is the soft hyphen U+00AD.
inline constexpr const char* kCannotCreate = "Impossible de créer ou\r\u00AD'ouvrir le fichier";

// Acquisition.
inline constexpr const char* kAllocationError = "Erreur d'allocation memoire";
inline constexpr const char* kNoChannelSelected =
    "Aucun canal n'est sélectionné : il n'y a rien à acquérir";
std::string BoardErrorQuestion(int status, std::string_view statusName, std::string_view callLabel,
                               std::string_view statusMessage);

// The math operations dialog.
inline constexpr const char* kNoOperandA =
    "Aucun canal n'est sélectionné pour l'opérande A.\nChoisissez-en un dans la première liste.";
inline constexpr const char* kNoOperandB =
    "Aucun canal n'est sélectionné pour l'opérande B.\nChoisissez-en un dans la deuxième liste.";
inline constexpr const char* kNoResultChannel =
    "Aucun canal n'est sélectionné pour le résultat.\nChoisissez-en un dans la troisième liste.";
inline constexpr const char* kSignProblem = "Problème de signe";
inline constexpr const char* kMathNoMemory = "Problème d'allocation mémoire";
inline constexpr const char* kRatesDiffer =
    "Les deux canaux n'ont pas la même fréquence d'échantillonnage";
std::string ChannelRatesDiffer(int a, int b, int result);

// Files of several channels, images and sessions.
inline constexpr const char* kExcelCaption = "Exportation vers Excel";
inline constexpr const char* kCsvCaption = "Exportation vers CSV";
inline constexpr const char* kMatCaption = "Exportation vers MATLAB";
inline constexpr const char* kHdf5Caption = "Exportation vers HDF5";
inline constexpr const char* kImportCaption = "Importation des canaux";
inline constexpr const char* kImageCaption = "Exportation de l'image";
inline constexpr const char* kSessionCaption = "Sauvegarde de la session";
inline constexpr const char* kNothingToExport =
    "Aucun canal ne contient d'échantillons : il n'y a rien à exporter.";
// `channels`: "3" or "0, 2".
std::string ImportOverSamplesQuestion(std::string_view channels, bool several);
inline constexpr const char* kUnknownChannelFileKind =
    "Type de fichier non reconnu : choisissez un fichier .csv, .mat ou .h5.";
inline constexpr const char* kSessionOverSamplesQuestion =
    "Des canaux contiennent des échantillons.\nL'ouverture d'une session les remplacera tous.\n\n"
    "Etes vous sure de vouloir continuer?";
// The reason a file could not be read or written, after the usual message.
std::string WithReason(std::string message, std::string_view reason);

// The display panel.
std::string ScaleRefused(std::string_view fieldLabel);

}  // namespace tavril::messages
