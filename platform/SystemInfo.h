#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Facts about the machine for the head of the scan log. A fact that cannot be read stays
// empty (or 0, or unset); nothing here fails otherwise.
struct TSystemFacts {
    // The running program's folder, ending with "/".
    std::string ProgramFolder;
    // PRETTY_NAME of os-release.
    std::string OsName;
    // "model name" and "cpu MHz" (rounded; 0 when absent) of the first processor.
    std::string ProcessorName;
    std::uint32_t ProcessorMHz = 0;
    // Bytes of physical memory (MemTotal) and of memory available (MemAvailable).
    std::uint64_t MemoryTotal = 0;
    std::optional<std::uint64_t> MemoryAvailable;
};

// The readers take the file they read, so tests can hand them fake files.
// PRETTY_NAME of an os-release file.
std::string ReadOsPrettyName(const std::string& osReleasePath);
// "model name" and "cpu MHz" of the first processor of a cpuinfo file.
void ReadProcessorFacts(const std::string& cpuInfoPath, std::string& name, std::uint32_t& mhz);
// MemTotal and MemAvailable of a meminfo file, in bytes.
void ReadMemoryFacts(const std::string& memInfoPath, std::uint64_t& total,
                     std::optional<std::uint64_t>& available);
// The folder of the program that a link such as /proc/self/exe names, ending with "/".
std::string ReadProgramFolder(const std::string& exeLinkPath);

// All facts, read below root: root + "etc/os-release" (else root + "usr/lib/os-release"),
// "proc/cpuinfo", "proc/meminfo" and "proc/self/exe". The root ends with "/".
TSystemFacts ReadSystemFacts(const std::string& root = "/");

} // namespace platform
