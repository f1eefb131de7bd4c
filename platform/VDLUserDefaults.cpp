#include "VDLUserDefaults.h"
#include "VDLPropertyList.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>

std::string VDLPreferencesPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/vardelle/vardelle.app.plist";
}

namespace {
std::mutex gMutex;
std::string gPath;
struct timespec gMtime {};
off_t gSize = -1;
VDLPlist gRoot;

// Returns the cached root for the current file (reloaded when path, time or size changed).
plist_t currentRoot() {
    const std::string path = VDLPreferencesPath();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        gRoot.reset();
        gPath = path;
        gSize = -1;
        return nullptr;
    }
    if (path != gPath || st.st_size != gSize || st.st_mtim.tv_sec != gMtime.tv_sec ||
        st.st_mtim.tv_nsec != gMtime.tv_nsec) {
        gPath = path;
        gSize = st.st_size;
        gMtime = st.st_mtim;
        gRoot = VDLReadPlistFile(path, nullptr, kVDLPreferencesMaxBytes);
        if (gRoot && plist_get_node_type(gRoot.get()) != PLIST_DICT) gRoot.reset();
    }
    return gRoot.get();
}

template <typename T, typename F>
std::optional<T> lookup(const std::string& key, F convert) {
    std::lock_guard<std::mutex> lock(gMutex);
    plist_t root = currentRoot();
    if (!root) return std::nullopt;
    return convert(plist_dict_get_item(root, key.c_str()));
}
}  // namespace

std::optional<int64_t> VDLPreferenceInteger(const std::string& key) { return lookup<int64_t>(key, VDLPlistInteger); }
std::optional<bool> VDLPreferenceBool(const std::string& key) { return lookup<bool>(key, VDLPlistBool); }
std::optional<std::string> VDLPreferenceString(const std::string& key) { return lookup<std::string>(key, VDLPlistString); }
std::optional<double> VDLPreferenceReal(const std::string& key) { return lookup<double>(key, VDLPlistReal); }
