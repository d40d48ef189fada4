#include "engine/Log.h"

#include "engine/FileTimeHelper.h"
#include "engine/ZYGlobals.h"

#include <cerrno>

namespace {

const char* const LevelNames[] = {"", "Information", "Warning", "Error", "FATAL ERROR"};

// The current local date and time in the user's short date and long time format, without a
// time-zone field, as file times are shown.
std::string DateTimeText()
{
    return DateTimeToDisplayText(NowAsDateTime());
}

// Owns the program's log; AppLog mirrors it. A writer takes its own reference under the
// lock (held only for that copy), so a log that is replaced meanwhile lives on until the
// writer's line is done, and is freed by whoever lets go of it last.
std::mutex AppLogLock;
std::shared_ptr<TLog> OwnedAppLog;

} // namespace

TLog::~TLog()
{
    CloseFile();
}

void TLog::SetFileName(const std::string& value)
{
    std::lock_guard guard(Lock);
    if (value == FFileName) {
        return;
    }
    CloseFileLocked();
    FFileName = value;
    OpenFileLocked();
}

bool TLog::OpenFile()
{
    std::lock_guard guard(Lock);
    return OpenFileLocked();
}

void TLog::CloseFile()
{
    std::lock_guard guard(Lock);
    CloseFileLocked();
}

bool TLog::IsOpen() const
{
    std::lock_guard guard(Lock);
    return Opened;
}

bool TLog::OpenFileLocked()
{
    if (Opened) {
        return true;
    }
    if (FFileName.empty()) {
        return false;
    }
    platform::TUniqueFd fd(platform::Sys().Open(FFileName.c_str(),
                                                O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644));
    if (!fd.Valid()) {
        return false;
    }
    File = std::move(fd);
    Opened = true;
    return true;
}

void TLog::CloseFileLocked()
{
    File.Reset();
    Opened = false;
}

void TLog::WriteLogLine(const std::string& text)
{
    std::string line = text + "\r\n";
    std::lock_guard guard(Lock);
    if (!Opened) {
        return;
    }
    // Written straight to the file: once the call returns the line is on its way to the disk
    // and nothing of it waits in a buffer of ours.
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t written = platform::Sys().Write(File.Get(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (written == 0) {
            return;
        }
        data += written;
        left -= std::size_t(written);
    }
}

void TLog::AddLogMessage(std::uint8_t level, const std::string& text)
{
    std::string prefix;
    if (MessageMode.load() == lmmFullTimeInfo) {
        const char* levelName = level < std::size(LevelNames) ? LevelNames[level] : "";
        prefix = "[" + DateTimeText() + "] " + levelName + " : ";
    }
    WriteLogLine(prefix + text);
}

void TLog::AddLogText(const std::string& text)
{
    AddLogMessage(0, text);
}

TLog* ReplaceAppLog(std::unique_ptr<TLog> log)
{
    std::shared_ptr<TLog> installed(std::move(log));
    std::shared_ptr<TLog> previous;
    {
        std::lock_guard guard(AppLogLock);
        previous = std::move(OwnedAppLog);
        OwnedAppLog = installed;
        AppLog = installed.get();
    }
    // Let go of the file before the new log can open it again. A line still being written
    // to the old log is finished first; later ones to it are dropped.
    if (previous) {
        previous->CloseFile();
    }
    return installed.get();
}

void AddAppLogText(const std::string& text)
{
    std::shared_ptr<TLog> log;
    {
        std::lock_guard guard(AppLogLock);
        log = OwnedAppLog;
    }
    if (log) {
        log->AddLogText(text);
    }
}
