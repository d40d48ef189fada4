#include "engine/VistaFolders.h"

#include "platform/SpecialFolders.h"

std::string GetDownloadsFolder()
{
    std::string configured = platform::ConfiguredUserFolder("XDG_DOWNLOAD_DIR");
    if (!configured.empty()) {
        return configured;
    }
    std::string home = platform::HomeFolder();
    if (home.empty() || home == "/") {
        return {};
    }
    return home + "Downloads/";
}
