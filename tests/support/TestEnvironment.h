#pragma once

#include <string>

namespace testing_support {

// The per-run sandbox every test program starts in: HOME, the XDG folders (and with them
// the registry store under $XDG_CONFIG_HOME) and TMPDIR all point into one fresh temporary
// folder, so no test reads or writes the real user's files. Set up by the test main before
// QCoreApplication exists and before any thread starts.
class TTestEnvironment {
public:
    static void SetUp();
    static void TearDown();
    // The sandbox folder, ending with "/".
    static const std::string& Root();
    static std::string Home();
    static std::string ConfigHome();
    static std::string DataHome();
    // Writes $XDG_CONFIG_HOME/user-dirs.dirs with the given line, e.g.
    // XDG_DOCUMENTS_DIR="$HOME/Docs" (an empty text removes the file).
    static void WriteUserDirs(const std::string& lines);
};

} // namespace testing_support
