#pragma once

#include <map>

class QAction;
class QMenuBar;

namespace tavril {

// Fills `bar` with the program's menus: "&Fichier", "A&ction", "&Option",
// "&Affichage" and, at the right end of the bar, "&Aide", every item with its
// initial state (greyed, checked). Returns each command's item by command id;
// an item's data is its command id. Choosing an item changes no check mark by
// itself: the command sets it.
std::map<int, QAction*> BuildMainMenu(QMenuBar& bar);

}  // namespace tavril
