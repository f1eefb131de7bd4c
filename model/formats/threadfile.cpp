// The thread side file: the complete thread list of a design kept beside the design file, so
// colours chosen by the user survive formats that store none (DST, EXP) or only machine codes.
#include "VDLColorList.h"
#include "VDLDesign.h"
#include "VDLFile.h"
#include "VDLPropertyList.h"
#include "VDLThreadFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <limits>

namespace {

// A thread file holds a few hundred bytes per thread; anything far beyond that is not one.
constexpr off_t kMaxThreadFileSize = 64 * 1024 * 1024;

plist_t entry(plist_t dict, const char* key) { return plist_dict_get_item(dict, key); }

std::string stringEntry(plist_t dict, const char* key) { return VDLPlistString(entry(dict, key)).value_or(""); }

// Up to N decimal numbers separated by spaces, as an archived colour keeps its components
// ("0.5 0.25 1"); parsed without regard to the user's locale.
std::vector<double> numbersInText(const char* p, const char* end, size_t n) {
    std::vector<double> out;
    while (p < end && out.size() < n) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n')) ++p;
        if (p >= end || *p == '\0') break;
        double v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || next == p) break;
        out.push_back(v);
        p = next;
    }
    return out;
}

// The colour of an entry of the older form: "color" holds an archived colour object. Keyed
// archives (binary or XML property lists) of an RGB or grey colour are decoded; anything else
// gives none.
std::optional<VDLColor> archivedColor(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_DATA) return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    if (!bytes || length == 0) return std::nullopt;
    VDLPlist archive = VDLPlistFromMemory(bytes, size_t(length));
    if (!archive || plist_get_node_type(archive.get()) != PLIST_DICT) return std::nullopt;

    plist_t objects = entry(archive.get(), "$objects");
    plist_t top = entry(archive.get(), "$top");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
        return std::nullopt;
    plist_t root = entry(top, "root");
    if (!root || plist_get_node_type(root) != PLIST_UID) return std::nullopt;
    uint64_t index = 0;
    plist_get_uid_val(root, &index);
    if (index >= plist_array_get_size(objects)) return std::nullopt;
    plist_t color = plist_array_get_item(objects, uint32_t(index));
    if (!color || plist_get_node_type(color) != PLIST_DICT) return std::nullopt;

    auto components = [&](const char* key, size_t n) -> std::vector<double> {
        plist_t data = entry(color, key);
        if (!data || plist_get_node_type(data) != PLIST_DATA) return {};
        uint64_t len = 0;
        const char* text = plist_get_data_ptr(data, &len);
        if (!text) return {};
        return numbersInText(text, text + len, n);
    };
    if (auto rgb = components("NSRGB", 3); rgb.size() == 3) return VDLColor(rgb[0], rgb[1], rgb[2]);
    if (auto white = components("NSWhite", 1); white.size() == 1) return VDLColor(white[0], white[0], white[0]);
    return std::nullopt;
}

VDLThread threadFromEntry(plist_t dict) {
    const std::string name = stringEntry(dict, "name");
    const std::string key = stringEntry(dict, "key");
    const std::string palette = stringEntry(dict, "palette");
    const std::string paletteName = stringEntry(dict, "paletteName");

    std::optional<VDLColor> color;
    if (VDLPlistInteger(entry(dict, "threadfileversion")) == 2) {
        auto component = [&](const char* k) { return VDLPlistReal(entry(dict, k)).value_or(0.0); };
        color = VDLColor(component("red"), component("green"), component("blue"));
    } else {
        color = archivedColor(entry(dict, "color"));
        // An archive we cannot decode: the colour of the entry's chart key, else the grey
        // of a colour nobody chose.
        if (!color && !palette.empty())
            if (auto chart = VDLColorList::colorListForPalette(palette)) color = chart->colorWithKey(key);
        if (!color) color = VDLColor();
    }
    return VDLThread(*color, name, key, palette, paletteName);
}

}  // namespace

VDLURL VDLThreadFileURLForDesign(const VDLURL& designURL) {
    return designURL.URLByDeletingPathExtension().URLByAppendingPathExtension("threads");
}

std::optional<std::vector<VDLThread>> VDLThreadsFromThreadFileData(std::span<const uint8_t> bytes) {
    VDLPlist root = VDLPlistFromXML(std::string(bytes.begin(), bytes.end()));
    if (!root || plist_get_node_type(root.get()) != PLIST_ARRAY) return std::nullopt;
    const uint32_t count = plist_array_get_size(root.get());
    std::vector<VDLThread> threads;
    threads.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t dict = plist_array_get_item(root.get(), i);
        // A damaged entry makes the whole file unusable: replacing only some threads would
        // shift every colour after it.
        if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
        threads.push_back(threadFromEntry(dict));
    }
    return threads;
}

std::string VDLThreadFileDataForThreads(const std::vector<VDLThread>& threads) {
    VDLPlist root(plist_new_array());
    for (const VDLThread& t : threads) {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "threadfileversion", plist_new_uint(2));
        plist_dict_set_item(dict, "name", plist_new_string(t.name().c_str()));
        plist_dict_set_item(dict, "key", plist_new_string(t.key().c_str()));
        plist_dict_set_item(dict, "palette", plist_new_string(t.palette().c_str()));
        plist_dict_set_item(dict, "paletteName", plist_new_string(t.paletteName().c_str()));
        // Components are kept in single precision.
        plist_dict_set_item(dict, "red", plist_new_real(double(float(t.color().red()))));
        plist_dict_set_item(dict, "green", plist_new_real(double(float(t.color().green()))));
        plist_dict_set_item(dict, "blue", plist_new_real(double(float(t.color().blue()))));
        plist_array_append_item(root.get(), dict);
    }
    return VDLPlistToXML(root.get());
}

bool VDLDesign::importThreadsForDesign(const VDLURL& designURL) {
    const std::string path = VDLThreadFileURLForDesign(designURL).path();
    struct stat st {};
    // Only a regular file of sane size: a FIFO would block the reader, a huge file is no thread file.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxThreadFileSize) return false;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(path, bytes)) return false;
    auto threads = VDLThreadsFromThreadFileData(bytes);
    if (!threads || threads->size() != threads_.size()) return false;
    threads_ = std::move(*threads);
    return true;
}

bool VDLDesign::exportThreadsForDesign(const VDLURL& designURL) {
    const std::string xml = VDLThreadFileDataForThreads(threads_);
    return VDLWriteFileAtomically(VDLThreadFileURLForDesign(designURL).path(), xml.data(), xml.size());
}

bool VDLDesign::deleteThreadsFromDesign(const VDLURL& designURL) {
    const std::string path = VDLThreadFileURLForDesign(designURL).path();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
    return ::unlink(path.c_str()) == 0;
}
