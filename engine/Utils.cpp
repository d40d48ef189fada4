#include "engine/Utils.h"

#include "engine/Log.h"

#include <atomic>

namespace {
std::atomic<bool> LogEnabled{false};
} // namespace

void LogMessage(const std::string& text)
{
    if (LogEnabled.load(std::memory_order_relaxed)) {
        AddAppLogText(text);
    }
}

void SetLogEnabled(bool enabled)
{
    LogEnabled.store(enabled, std::memory_order_relaxed);
}

bool IsLogEnabled()
{
    return LogEnabled.load(std::memory_order_relaxed);
}
