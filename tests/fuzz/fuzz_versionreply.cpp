// The version service's reply: an XML property list dictionary keyed by application
// identifier, each entry a dictionary with "version" and optionally "url". The application's
// decoder is Qt code around these library calls; this target drives the same calls. Decoding
// must never crash, whatever the reply holds.
#include "VDLPropertyList.h"

#include <cstdint>
#include <string>

namespace {
void readEntry(plist_t root, const char* identifier) {
    plist_t entry = plist_dict_get_item(root, identifier);
    if (!entry || plist_get_node_type(entry) != PLIST_DICT) return;
    for (const char* key : {"version", "url"})
        if (plist_t node = plist_dict_get_item(entry, key)) (void)VDLPlistString(node);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    VDLPlist root = VDLPlistFromXML(std::string(reinterpret_cast<const char*>(data), size));
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return 0;
    readEntry(static_cast<plist_t>(root.get()), "io.github.vardelle.Vardelle");
    return 0;
}
