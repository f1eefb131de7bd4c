#include "VDLColorList.h"
#include "VDLFile.h"
#include "VDLResources.h"

#include <charconv>
#include <map>
#include <mutex>
#include <unordered_set>

namespace {

bool isSeparator(char c) { return c == '\n' || c == '\r' || c == '\t' || c == ' ' || c == ','; }

// A scanner over one line: separators are skipped before each item, like a text scanner
// with those characters to be skipped.
struct LineScanner {
    const char* p;
    const char* end;

    void skip() {
        while (p < end && isSeparator(*p)) ++p;
    }
    bool scanInt() {
        skip();
        const char* q = p;
        if (q < end && (*q == '-' || *q == '+')) ++q;
        const char* digits = q;
        while (q < end && *q >= '0' && *q <= '9') ++q;
        if (q == digits) return false;
        p = q;
        return true;
    }
    bool scanFloat(float& out) {
        skip();
        const char* q = p;
        if (q < end && *q == '+') ++q;
        auto res = std::from_chars(q, end, out, std::chars_format::general);
        if (res.ec != std::errc() && res.ec != std::errc::result_out_of_range) return false;
        if (res.ptr == q) return false;
        p = res.ptr;
        return true;
    }
    bool scanKey(std::string& out) {
        skip();
        const char* q = p;
        while (q < end && !isSeparator(*q)) ++q;
        if (q == p) return false;
        out.assign(p, q);
        p = q;
        return true;
    }
};

}  // namespace

VDLColorList::VDLColorList(const std::string& /*name*/, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (path.empty() || !VDLReadFile(path, bytes)) return;
    parse(std::string(bytes.begin(), bytes.end()));
}

VDLColorList VDLColorList::fromText(const std::string& text) {
    VDLColorList list;
    list.parse(text);
    return list;
}

void VDLColorList::parse(const std::string& text) {
    size_t pos = text.find('\n');
    if (pos == std::string::npos) return;  // only a header (or nothing)
    ++pos;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        LineScanner s{text.data() + pos, text.data() + eol};
        float r, g, b, unused;
        std::string key;
        if (s.scanInt() && s.scanFloat(r) && s.scanFloat(g) && s.scanFloat(b) && s.scanFloat(unused) && s.scanKey(key)) {
            colorList_.insert_or_assign(key, VDLColor(double(r), double(g), double(b)));
            orderedKeys_.push_back(std::move(key));
        }
        pos = eol + 1;
    }
}

std::vector<std::string> VDLColorList::allKeys() const {
    std::vector<std::string> keys;
    keys.reserve(colorList_.size());
    std::unordered_set<std::string> seen;
    for (const auto& k : orderedKeys_)
        if (seen.insert(k).second) keys.push_back(k);
    return keys;
}

std::optional<VDLColor> VDLColorList::colorWithKey(const std::string& key) const {
    auto it = colorList_.find(key);
    if (it == colorList_.end()) return std::nullopt;
    return it->second;
}

namespace {
std::mutex gCacheMutex;
std::map<std::string, std::shared_ptr<const VDLColorList>> gCache;
}  // namespace

std::shared_ptr<const VDLColorList> VDLColorList::colorListForPalette(const std::string& palette) {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    auto it = gCache.find(palette);
    if (it != gCache.end()) return it->second;
    std::shared_ptr<const VDLColorList> list;
    if (palette.empty() || palette.find('/') != std::string::npos) {
        list = std::make_shared<VDLColorList>();
    } else {
        list = std::make_shared<VDLColorList>(palette, VDLPathForResource(palette, "clr", palette + ".clr"));
    }
    gCache.emplace(palette, list);
    return list;
}

void VDLColorList::clearCache() {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    gCache.clear();
}
