#pragma once

#include <string>

class QWidget;

// Applies the stored placement rules of RegistryAccess to real windows on the real screens.
// The value is stored under RegistryRoot + formName, named formName. The bounds are the
// window's geometry without its frame, so a window saved and restored keeps its size.
// Everything here runs on the main thread.

// Restores the window's stored placement (a maximised record maximises it; with no record
// "MainForm" is maximised and any other window stays as it is).
void RestoreFormPlacement(QWidget& form, const std::string& formName);
// Stores the window's placement; false when the store could not write it.
bool StoreFormPlacement(const QWidget& form, const std::string& formName);
// The same for a window whose value is named otherwise than its key (RegistryRoot + section).
void RestoreFormPlacement(QWidget& form, const std::string& section, const std::string& valueName);
bool StoreFormPlacement(
    const QWidget& form, const std::string& section, const std::string& valueName);
// When the window lies on no monitor: fits it to the primary screen's work area and centres
// it there. True when it was moved.
bool PullOntoMonitor(QWidget& form);
