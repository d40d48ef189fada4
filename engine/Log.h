#pragma once

#include "platform/SysCalls.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

enum TLogMessageMode : std::uint8_t {
    lmmSimple = 0,       // a line is the text alone
    lmmFullTimeInfo = 1, // "[" date and time "] " level " : " text
};

// A log written line by line to a text file: UTF-8, every line ended by CR LF and on the disk
// (written straight through, nothing kept back) before the call returns. Any number of threads
// may write lines at once; each line is written whole under the log's lock, so lines never
// interleave. A file that cannot be created leaves the log closed, and every later line is
// dropped without an error; failed writes are not reported either.
class TLog {
public:
    TLog() = default;
    ~TLog();
    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;

    const std::string& FileName() const { return FFileName; }
    // A name other than the current one (exact comparison) closes the current file and opens
    // the new one, emptying an existing file of that name. An empty name only closes.
    void SetFileName(const std::string& value);

    // True when the file is open, opening it if needed; false when FileName is empty or the
    // file cannot be created.
    bool OpenFile();
    void CloseFile();
    bool IsOpen() const;

    void WriteLogLine(const std::string& text);
    // Level 0 has no name; 1 "Information", 2 "Warning", 3 "Error", 4 "FATAL ERROR".
    void AddLogMessage(std::uint8_t level, const std::string& text);
    void AddLogText(const std::string& text);

    // A free name; nothing reads it.
    std::string Name;
    std::atomic<TLogMessageMode> MessageMode{lmmFullTimeInfo};

private:
    bool OpenFileLocked();
    void CloseFileLocked();

    mutable std::mutex Lock;
    platform::TUniqueFd File;
    bool Opened = false;
    std::string FFileName;
};

// Makes the given log the program's log (AppLog, owned from now on) and returns it; null
// removes the log. The previous log's file is closed before this returns, so the new log may
// then open the same file: set the new log's mode before installing it, and name its file
// after. The previous object is freed once no writer uses it any more. A line written through
// LogMessage while the log is replaced goes to the old log or the new one, or is dropped; it
// never reaches a freed log. Assign AppLog only through this function, and read it only on
// the thread that calls this function (the scan thread); every other thread writes through
// LogMessage.
TLog* ReplaceAppLog(std::unique_ptr<TLog> log);

// AddLogText on AppLog when there is one; safe against ReplaceAppLog on another thread.
void AddAppLogText(const std::string& text);
