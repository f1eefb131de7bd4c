#include "VDLResources.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#ifndef VARDELLE_SOURCE_RESOURCES
#define VARDELLE_SOURCE_RESOURCES "resources"
#endif

namespace fs = std::filesystem;

namespace {
std::string moduleDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleDirectory), &info) && info.dli_fname && *info.dli_fname) {
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::path(info.dli_fname), ec);
        if (!ec) return p.parent_path().string();
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}
}  // namespace

std::string VDLResourceDirectory() {
    if (const char* env = std::getenv("VARDELLE_RESOURCES"); env && *env) return env;
    const std::string dir = moduleDirectory();
    if (!dir.empty()) {
        std::error_code ec;
        for (const char* rel : {"../share/vardelle", "../../share/vardelle"}) {
            fs::path candidate = fs::path(dir) / rel;
            if (fs::is_directory(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
        }
    }
    return VARDELLE_SOURCE_RESOURCES;
}

std::string VDLPathForResource(const std::string& name, const std::string& type, const std::string& subdir) {
    fs::path p = VDLResourceDirectory();
    if (!subdir.empty()) p /= subdir;
    p /= type.empty() ? name : name + "." + type;
    std::error_code ec;
    return fs::is_regular_file(p, ec) ? p.string() : std::string();
}
