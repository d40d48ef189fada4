#include "engine/SystemServices.h"

#include "platform/Power.h"
#include "platform/Process.h"
#include "platform/SpecialFolders.h"
#include "platform/SysCalls.h"
#include "platform/SystemInfo.h"
#include "platform/Version.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace {

std::mutex ParametersLock;
std::optional<std::vector<std::string>> ParametersOverride;

bool SameSwitch(const std::string& parameter, const QString& switchText)
{
    return QString::fromUtf8(parameter).compare(switchText, Qt::CaseInsensitive) == 0;
}

// The memory size as the log has always shown it: MiB plus one, rounded to the nearest whole
// number with halves going to the even one; 0 when the size is not known.
std::uint64_t MemoryMegabytesPlusOne(std::uint64_t bytes)
{
    constexpr std::uint64_t MiB = 1048576;
    if (bytes == 0) {
        return 0;
    }
    std::uint64_t whole = bytes / MiB + 1;
    std::uint64_t twiceRest = (bytes % MiB) * 2;
    if (twiceRest > MiB || (twiceRest == MiB && whole % 2 == 1)) {
        ++whole;
    }
    return whole;
}

// The share of memory in use, rounded to whole percent; 0 when it is not known.
std::uint64_t MemoryLoadPercent(const platform::TSystemFacts& facts)
{
    if (facts.MemoryTotal == 0 || !facts.MemoryAvailable ||
        *facts.MemoryAvailable > facts.MemoryTotal) {
        return 0;
    }
    std::uint64_t used = facts.MemoryTotal - *facts.MemoryAvailable;
    // Work in KiB so that the product cannot overflow.
    std::uint64_t usedKiB = used >> 10;
    std::uint64_t totalKiB = facts.MemoryTotal >> 10;
    if (totalKiB == 0) {
        return 0;
    }
    return (usedKiB * 100 + totalKiB / 2) / totalKiB;
}

} // namespace

std::vector<std::string> CommandLineParameters()
{
    {
        std::lock_guard<std::mutex> guard(ParametersLock);
        if (ParametersOverride) {
            return *ParametersOverride;
        }
    }
    std::vector<std::string> parameters;
    if (QCoreApplication::instance()) {
        const QStringList arguments = QCoreApplication::arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            // The arguments were decoded from the local encoding; encode them back so file
            // names reach the caller as the bytes they were given as.
            parameters.push_back(arguments[i].toLocal8Bit().toStdString());
        }
    }
    return parameters;
}

std::string GetAppVersionText()
{
    return platform::GetAppVersionText();
}

void SetCommandLineParameters(const std::vector<std::string>& parameters)
{
    std::lock_guard<std::mutex> guard(ParametersLock);
    ParametersOverride = parameters;
}

void ResetCommandLineParameters()
{
    std::lock_guard<std::mutex> guard(ParametersLock);
    ParametersOverride.reset();
}

bool GetCommandLineValue(const std::string& switchText, std::string& value)
{
    value.clear();
    const std::vector<std::string> parameters = CommandLineParameters();
    const QString wanted = QString::fromUtf8(switchText);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (SameSwitch(parameters[i], wanted)) {
            if (i + 1 < parameters.size()) {
                value = parameters[i + 1];
            }
            return true;
        }
    }
    return false;
}

bool HasCommandLineSwitch(const std::string& switchText)
{
    const QString wanted = QString::fromUtf8(switchText);
    for (const std::string& parameter : CommandLineParameters()) {
        if (SameSwitch(parameter, wanted)) {
            return true;
        }
    }
    return false;
}

std::string GetSpecialFolder(std::int32_t csidl)
{
    switch (csidl) {
    case CSIDL_DESKTOP:
        return platform::DesktopFolder();
    case CSIDL_PERSONAL:
        return platform::DocumentsFolder();
    case CSIDL_APPDATA:
        return platform::ConfigHome();
    case CSIDL_PROFILE:
        return platform::HomeFolder();
    default:
        return {};
    }
}

std::string GetMyDocumentsFolder()
{
    return platform::DocumentsFolder();
}

bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                bool wait)
{
    return platform::StartProcess(program, arguments, wait);
}

std::string GetSystemInfoText(const std::string& root)
{
    const platform::TSystemFacts facts = platform::ReadSystemFacts(root);
    std::string processor = facts.ProcessorName;
    if (facts.ProcessorMHz != 0) {
        if (!processor.empty()) {
            processor += ", ";
        }
        processor += std::to_string(facts.ProcessorMHz) + "Mhz";
    }
    std::string text;
    text += "Application Directory: " + facts.ProgramFolder + "\r\n";
    text += facts.OsName + "\r\n";
    text += processor + "\r\n";
    text += std::to_string(MemoryMegabytesPlusOne(facts.MemoryTotal)) + " MB of RAM\r\n";
    text += std::to_string(MemoryLoadPercent(facts)) + "% memory in use\r\n";
    return text;
}

bool EnableShutdownPrivilege(bool enable)
{
    return !enable || platform::HasShutdownRights();
}

bool ExitWindowsWithPrivilege(std::uint32_t flags, std::string* errorText)
{
    // The force bits (4 and 16) change nothing here: the login manager decides.
    platform::TPowerResult result;
    switch (flags & ~std::uint32_t(0x14)) {
    case 0:
        result = platform::PowerService().LogOff();
        break;
    case 8:
        result = platform::PowerService().PowerOff();
        break;
    default:
        result = {false, "This action is not supported."};
        break;
    }
    if (errorText) {
        *errorText = result.ErrorText;
    }
    return result.Succeeded;
}

bool IsUserAdmin()
{
    return platform::Sys().GetEuid() == 0;
}

bool Is32BitBuild()
{
    return platform::Is32BitBuild();
}
