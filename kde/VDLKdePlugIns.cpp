#include "VDLKdePlugIns.h"

#include <cstdlib>
#include <filesystem>

std::string VDLKdePlugInPath(const char* file) {
    if (const char* env = std::getenv("VARDELLE_PLUGIN_DIR"); env && *env) return {};
    std::error_code ec;
    const std::filesystem::path installed = std::filesystem::path(VARDELLE_INSTALLED_PLUGIN_DIR) / file;
    return std::filesystem::is_regular_file(installed, ec) ? installed.string() : std::string();
}
