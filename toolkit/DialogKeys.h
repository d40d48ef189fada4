#pragma once

#include <functional>

class QWidget;

// Keys that the program's dialogs handle for themselves. Main thread only.

// Enter (either key) in the control runs the action and goes no further, so it never presses
// the dialog's default button. The action belongs to the control and goes with it.
void InstallEnterKeyAction(QWidget* control, std::function<void()> action);

// F1 anywhere in the form that no control takes for itself opens the help page of the
// context (ShowHelpContext).
void InstallHelpKey(QWidget* form, int helpContext);
