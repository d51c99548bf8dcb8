#include "files/channel_file_problem.h"

#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

std::string Quoted(std::string label) {
  while (!label.empty() && label.back() == ' ') label.pop_back();
  return "« " + label + " »";
}

std::string Offset(std::uint64_t offset) {
  return "octet " + std::to_string(offset);
}

// A count's text comes from the file: its bytes are shown as the file's
// code page reads them, control characters as '?', so the line stays one line.
std::string Shown(const std::string& text) {
  std::string shown = Windows1252ToUtf8(text.substr(0, 40));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return text.size() > 40 ? shown + "…" : shown;
}

}  // namespace

std::string DescribeChannelFileProblem(const ChannelFileProblem& problem) {
  switch (problem.fault) {
    case ChannelFileFault::kNone:
      return "aucune erreur";
    case ChannelFileFault::kCannotOpen:
      return "impossible de l'ouvrir (" + SystemErrorText(problem.systemError) + ")";
    case ChannelFileFault::kLabelMismatch:
      return Quoted(problem.label) + " attendu à l'" + Offset(problem.offset);
    case ChannelFileFault::kFieldUnterminated:
      return "la valeur de " + Quoted(problem.label) +
             " n'a pas son terminateur § avant la fin du fichier";
    case ChannelFileFault::kFieldTooLong:
      return "la valeur de " + Quoted(problem.label) + " dépasse 255 octets (" +
             Offset(problem.offset) + ")";
    case ChannelFileFault::kBadCount:
      return "« Count = » ne donne pas un nombre de points : « " + Shown(problem.countText) + " »";
    case ChannelFileFault::kNoMemory:
      return "la mémoire ne peut pas contenir les " + std::to_string(problem.count) +
             " points annoncés";
    case ChannelFileFault::kTooManyValues:
      return "plus de valeurs que les " + std::to_string(problem.count) + " points annoncés (" +
             Offset(problem.offset) + ")";
    case ChannelFileFault::kListUnterminated:
      return "le fichier se termine avant le § qui clôt la liste des valeurs";
    case ChannelFileFault::kValueTooLong:
      return "une valeur trop longue pour être un nombre (" + Offset(problem.offset) + ")";
    case ChannelFileFault::kReadError:
      return "erreur de lecture (" + SystemErrorText(problem.systemError) + ")";
  }
  return "erreur inconnue";
}

}  // namespace tavril
