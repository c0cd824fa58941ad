// Groups of controls and dialogs.
#pragma once

class QGroupBox;
class QDialog;
class QKeyEvent;

namespace quillon::ui {

// On: the box, then each control directly inside it, in order; off: the controls, then the box.
void EnableGroup(QGroupBox* box, bool on);

// For a dialog's key handler: Escape is consumed and closes the dialog with Cancel.
// Returns true when the key was consumed.
bool CloseOnEscape(QDialog* dialog, QKeyEvent* key);

}  // namespace quillon::ui
