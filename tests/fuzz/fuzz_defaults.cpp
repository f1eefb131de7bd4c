// The preferences file (vardelle.app.plist), as the command-line tool, the plug-ins and the
// application read it: from a file under $XDG_CONFIG_HOME, every entry through the accessors
// that accept whatever type a hand-edited file used. Reading must never crash, and the cached
// reader must see each new file.
#include "VDLPropertyList.h"
#include "VDLUserDefaults.h"
#include "VDLValueTransformer.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
std::string preferencesFile() {
    static const std::string path = [] {
        char folder[] = "/tmp/vardelle-fuzz-defaults-XXXXXX";
        if (!::mkdtemp(folder)) std::abort();
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        std::filesystem::create_directories(std::string(folder) + "/vardelle");
        std::atexit([] { std::filesystem::remove_all(std::filesystem::path(VDLPreferencesPath()).parent_path().parent_path()); });
        return VDLPreferencesPath();
    }();
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = preferencesFile();
    // Without a file the cached reader forgets the last one, so equal sizes and times cannot
    // hide the new contents.
    std::remove(path.c_str());
    if (VDLPreferenceInteger("MeasurementUnit")) std::abort();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    (void)VDLPreferenceBool("DrawFastMode");
    (void)VDLPreferenceString("MachineTag");
    (void)VDLPreferenceReal("BastingLength");
    const int64_t unit = VDLPreferenceInteger("MeasurementUnit").value_or(0);
    (void)VDLValueTransformer("en_US").transformedValue(12.5, unit);

    VDLPlist root = VDLReadPlistFile(path);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return 0;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(static_cast<plist_t>(root.get()), &it);
    for (;;) {
        char* key = nullptr;
        plist_t node = nullptr;
        plist_dict_next_item(static_cast<plist_t>(root.get()), it, &key, &node);
        if (!key) break;
        (void)VDLPlistInteger(node);
        (void)VDLPlistReal(node);
        (void)VDLPlistBool(node);
        (void)VDLPlistString(node);
        // Colours are kept as data holding an archived colour (a small property list).
        if (plist_get_node_type(node) == PLIST_DATA) {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            if (bytes && length) {
                VDLPlist colour = VDLPlistFromXML(std::string(bytes, size_t(length)));
                if (colour && plist_get_node_type(static_cast<plist_t>(colour.get())) == PLIST_DICT)
                    for (const char* c : {"r", "g", "b", "a"})
                        (void)VDLPlistReal(plist_dict_get_item(static_cast<plist_t>(colour.get()), c));
            }
        }
        std::free(key);
    }
    std::free(it);
    return 0;
}
