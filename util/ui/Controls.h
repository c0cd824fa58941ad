// Groups of controls and dialogs.
#pragma once

class QGroupBox;
class QDialog;
class QKeyEvent;
class QPainter;
class QRect;
class QWidget;

namespace quillon::ui {

// On: the box, then each control directly inside it, in order; off: the controls, then the box.
void EnableGroup(QGroupBox* box, bool on);

// For a dialog's key handler: Escape is consumed and closes the dialog with Cancel.
// Returns true when the key was consumed.
bool CloseOnEscape(QDialog* dialog, QKeyEvent* key);

// A frame in the highlight colour just inside the rectangle while the control has the focus,
// for controls whose style shows no focus of its own (an empty list, a drive box, a memo).
void DrawFocusMark(const QWidget* control, QPainter& painter, const QRect& rect);
// Repaints the part of the control that draws the mark (its viewport) as the focus comes and
// goes.
void RepaintOnFocus(QWidget* control, QWidget* painted);

}  // namespace quillon::ui
