#pragma once

class QApplication;

namespace tavril {

// What every window of the program looks like, set once on the application:
// a style whose check boxes and radio buttons keep their text as close to
// the mark as the dialog templates expect, and Qt's own texts (standard
// buttons, file dialogs) in French, like the rest of the program, whatever
// the user's language.
void ApplyTavrilLook(QApplication& application);

}  // namespace tavril
