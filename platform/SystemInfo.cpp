#include "platform/SystemInfo.h"

#include "platform/SysCalls.h"
#include "platform/TextFile.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace platform {

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Calls take(key, value) for each "key<separator>value" line until it returns false; keys
// and values are trimmed.
template <typename TTake>
void ForEachField(const std::string& text, char separator, TTake take)
{
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        std::size_t at = line.find(separator);
        if (at == std::string_view::npos) {
            continue;
        }
        if (!take(Trim(line.substr(0, at)), Trim(line.substr(at + 1)))) {
            return;
        }
    }
}

// An os-release value: quoted with " or ' (backslash escapes inside "..."), or bare.
std::string UnquoteOsReleaseValue(std::string_view value)
{
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') ||
        value.back() != value.front()) {
        return std::string(value);
    }
    char quote = value.front();
    value = value.substr(1, value.size() - 2);
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (quote == '"' && c == '\\' && i + 1 < value.size()) {
            c = value[++i];
        }
        result += c;
    }
    return result;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    ReadTextFile(path, text);
    return text;
}

bool FileExists(const std::string& path)
{
    struct statx facts {};
    return Sys().Statx(AT_FDCWD, path.c_str(), 0, 0, &facts) == 0;
}

} // namespace

std::string ReadOsPrettyName(const std::string& osReleasePath)
{
    std::string name;
    ForEachField(ReadText(osReleasePath), '=', [&](std::string_view key, std::string_view value) {
        if (key == "PRETTY_NAME") {
            name = UnquoteOsReleaseValue(value);
            return false;
        }
        return true;
    });
    return name;
}

void ReadProcessorFacts(const std::string& cpuInfoPath, std::string& name, std::uint32_t& mhz)
{
    name.clear();
    mhz = 0;
    bool haveName = false;
    bool haveMHz = false;
    ForEachField(ReadText(cpuInfoPath), ':', [&](std::string_view key, std::string_view value) {
        if (key == "model name" && !haveName) {
            name = std::string(value);
            haveName = true;
        } else if (key == "cpu MHz" && !haveMHz) {
            double number = 0;
            auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (error == std::errc() && end != value.data() && number >= 0 && number < 1e9) {
                mhz = static_cast<std::uint32_t>(std::lround(number));
            }
            haveMHz = true;
        }
        // The first processor's block ends at its first empty line; its fields suffice.
        return !(haveName && haveMHz);
    });
}

void ReadMemoryFacts(const std::string& memInfoPath, std::uint64_t& total,
                     std::optional<std::uint64_t>& available)
{
    total = 0;
    available.reset();
    ForEachField(ReadText(memInfoPath), ':', [&](std::string_view key, std::string_view value) {
        if (key != "MemTotal" && key != "MemAvailable") {
            return true;
        }
        std::uint64_t kibibytes = 0;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), kibibytes);
        if (error != std::errc() || kibibytes > (UINT64_MAX >> 10)) {
            return true;
        }
        // The values are in kibibytes, whatever the "kB" says.
        if (key == "MemTotal") {
            total = kibibytes << 10;
        } else {
            available = kibibytes << 10;
        }
        return true;
    });
}

std::string ReadProgramFolder(const std::string& exeLinkPath)
{
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t length = Sys().ReadLink(exeLinkPath.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (std::size_t(length) < buffer.size()) {
            std::string path(buffer.data(), std::size_t(length));
            std::size_t slash = path.rfind('/');
            if (slash == std::string::npos) {
                return {};
            }
            return path.substr(0, slash + 1);
        }
        if (buffer.size() >= 1024 * 1024) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

TSystemFacts ReadSystemFacts(const std::string& root)
{
    TSystemFacts facts;
    facts.ProgramFolder = ReadProgramFolder(root + "proc/self/exe");
    std::string osRelease = root + "etc/os-release";
    facts.OsName = ReadOsPrettyName(FileExists(osRelease) ? osRelease
                                                          : root + "usr/lib/os-release");
    ReadProcessorFacts(root + "proc/cpuinfo", facts.ProcessorName, facts.ProcessorMHz);
    ReadMemoryFacts(root + "proc/meminfo", facts.MemoryTotal, facts.MemoryAvailable);
    return facts;
}

} // namespace platform
