#pragma once

#include <string>

// The program's logging call: writes the text as one line of the scan log (AppLog) when
// logging is on and a log exists; otherwise does nothing. Safe on any thread.
void LogMessage(const std::string& text);

// The engine-wide logging switch that LogMessage reads (off at start). The options' EnableLog
// drives it. Safe on any thread.
void SetLogEnabled(bool enabled);
bool IsLogEnabled();
