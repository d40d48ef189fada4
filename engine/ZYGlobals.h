#pragma once

#include <cstdint>
#include <string>

class TLog;

// The program's identity and the values every layer shares. The constants are fixed; the
// version-dependent texts are filled by InitProductGlobals() at start-up, before any other
// thread exists, and are read-only afterwards.

inline const std::string ProductName = "Twinrake";
// The registry root: the key of the registry store that holds every value of the program.
inline const std::string RegistryRoot = "\\Software\\Zanthory\\Twinrake\\";
// The project-file scrambler's prefix and its two one-byte keys.
inline const std::string ScramblePrefix = "qhvzm";
inline constexpr std::int32_t ScrambleKeyEven = 58;
inline constexpr std::int32_t ScrambleKeyOdd = 166;

// GetAppVersionText(): four numbers, "1.0.0.0" when none are known.
extern std::string ProductVersion;
// ProductName, a blank, ProductVersion, and " (64-bit)" in a 64-bit build.
extern std::string ProductTitle;

// The scan log of the current or last logged scan, or null (see Log.h).
extern TLog* AppLog;

// Fills ProductVersion and ProductTitle. Safe to call more than once.
void InitProductGlobals();
