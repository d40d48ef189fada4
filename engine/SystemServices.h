#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The program's services over the system: its version, its command line, the user's
// folders, starting other programs, the system description of the scan log, and the power
// actions. Folder texts end with "/".

// The file version of the program: four dot-separated numbers.
std::string GetAppVersionText();

// The parameters of the command line (without the program's own name). They come from the
// application object's arguments; SetCommandLineParameters puts others in their place (for
// tests) until ResetCommandLineParameters returns to the application's.
std::vector<std::string> CommandLineParameters();
void SetCommandLineParameters(const std::vector<std::string>& parameters);
void ResetCommandLineParameters();

// True when some parameter equals the switch, letter case ignored; value is then the
// parameter after it (empty when the switch is the last one). False and an empty value
// otherwise.
bool GetCommandLineValue(const std::string& switchText, std::string& value);
// True when some parameter equals the switch, letter case ignored.
bool HasCommandLineSwitch(const std::string& switchText);

// The special folders by their numbers.
inline constexpr std::int32_t CSIDL_DESKTOP = 0;
inline constexpr std::int32_t CSIDL_PERSONAL = 5;
inline constexpr std::int32_t CSIDL_APPDATA = 26;
inline constexpr std::int32_t CSIDL_COMMON_APPDATA = 35;
inline constexpr std::int32_t CSIDL_WINDOWS = 36;
inline constexpr std::int32_t CSIDL_PROGRAM_FILES = 38;
inline constexpr std::int32_t CSIDL_PROFILE = 40;

// The folder with a trailing "/": Desktop, Documents, the configuration folder
// ($XDG_CONFIG_HOME) or the home folder. The system-wide folders (common application data,
// the system folder, installed programs) have no single folder here and give the empty
// text, as does an unknown number; the protected system folders are listed by
// platform::ProtectedFolders().
std::string GetSpecialFolder(std::int32_t csidl);

// The Documents folder with a trailing "/"; the home folder when there is no Documents
// folder; empty (never "/" alone) when no home folder is known.
std::string GetMyDocumentsFolder();

// Starts the program with the arguments (each passed as one word, never through a shell)
// and, with wait, waits for its end. True when the program was started.
bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                bool wait);

// Five lines, each ending with CR LF: the program's folder, the operating system, the
// processor, the memory size and the memory in use. The facts are read below root (tests
// hand in a folder of fake files); a fact that cannot be read leaves its part empty.
std::string GetSystemInfoText(const std::string& root = "/");

// Whether this user may shut the machine down. There is no privilege to switch on for the
// process: enabling answers whether power-off is available, disabling always succeeds.
bool EnableShutdownPrivilege(bool enable);

// Flags 0: end the user's session; flags 8: power the machine off. True when the action was
// accepted; otherwise false, with the reason in errorText when it is given.
bool ExitWindowsWithPrivilege(std::uint32_t flags, std::string* errorText = nullptr);

// True when the program runs as the superuser.
bool IsUserAdmin();

// True in a 32-bit build.
bool Is32BitBuild();
