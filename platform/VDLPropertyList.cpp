#include "VDLPropertyList.h"
#include "VDLError.h"
#include "VDLFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

uint64_t bigEndian(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// Binary property list: header "bplist00", objects, a table of object offsets and a 32-byte
// trailer (offset size, reference size, object count, top object, table offset). Containers
// (array 0xA, set 0xC, dictionary 0xD) hold references: object numbers of REF_SIZE bytes.
// The object graph is walked from the top object with an explicit stack.
bool binaryWithinBounds(const uint8_t* data, size_t size, size_t maxDepth) {
    const uint8_t* trailer = data + size - 32;
    const size_t offsetSize = trailer[6];
    const size_t refSize = trailer[7];
    const uint64_t objects = bigEndian(trailer + 8, 8);
    const uint64_t top = bigEndian(trailer + 16, 8);
    const uint64_t table = bigEndian(trailer + 24, 8);
    const uint64_t objectsEnd = size - 32;
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    if (objects == 0 || top >= objects || table < 8 || table > objectsEnd) return false;
    if (objects > (objectsEnd - table) / offsetSize) return false;

    struct Frame {
        const uint8_t* refs;
        uint64_t left;
    };
    std::vector<Frame> stack;
    uint64_t visited = 0;
    // Visits object INDEX at DEPTH; a container pushes its references.
    auto visit = [&](uint64_t index, size_t depth) -> bool {
        if (index >= objects || ++visited > kVDLPlistMaxNodes || depth > maxDepth) return false;
        const uint64_t offset = bigEndian(data + table + index * offsetSize, offsetSize);
        if (offset < 8 || offset >= table) return false;
        const uint8_t marker = data[offset];
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return true;
        uint64_t count = marker & 0x0F;
        uint64_t at = offset + 1;
        if (count == 0x0F) {
            if (at >= table || (data[at] >> 4) != 0x1) return false;
            const size_t n = size_t(1) << (data[at] & 0x0F);
            if (n > 8 || at + 1 + n > table) return false;
            count = bigEndian(data + at + 1, n);
            at += 1 + n;
        }
        if (type == 0xD) {
            if (count > UINT64_MAX / 2) return false;
            count *= 2;  // keys, then values
        }
        if (count > (table - at) / refSize) return false;
        if (count > 0) stack.push_back(Frame{data + at, count});
        return true;
    };
    if (!visit(top, 1)) return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.left == 0) {
            stack.pop_back();
            continue;
        }
        const uint64_t index = bigEndian(f.refs, refSize);
        f.refs += refSize;
        --f.left;
        if (!visit(index, stack.size() + 1)) return false;
    }
    return true;
}

bool startsWith(const char* p, const char* end, std::string_view s) {
    return size_t(end - p) >= s.size() && std::memcmp(p, s.data(), s.size()) == 0;
}

// Where the text after P continues behind the next TERMINATOR (END when there is none).
const char* skipPast(const char* p, const char* end, std::string_view terminator) {
    const std::string_view rest(p, size_t(end - p));
    const size_t at = rest.find(terminator);
    return at == std::string_view::npos ? end : p + at + terminator.size();
}

// XML: the nesting of elements, whatever their names. Comments, CDATA sections, processing
// instructions and declarations are stepped over; an end tag closes one level (never below
// zero) and an empty-element tag none. A '<' not followed by a name is text, as a lenient
// parser takes it.
bool xmlWithinBounds(const char* p, const char* end, size_t maxDepth) {
    size_t depth = 0;
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        if (!p) return true;
        if (startsWith(p, end, "<!--")) {
            p = skipPast(p + 4, end, "-->");
        } else if (startsWith(p, end, "<![CDATA[")) {
            p = skipPast(p + 9, end, "]]>");
        } else if (startsWith(p, end, "<?")) {
            p = skipPast(p + 2, end, "?>");
        } else if (startsWith(p, end, "<!")) {
            p = skipPast(p + 2, end, ">");
        } else if (startsWith(p, end, "</")) {
            if (depth > 0) --depth;
            p = skipPast(p + 2, end, ">");
        } else {
            const unsigned char first = p + 1 < end ? static_cast<unsigned char>(p[1]) : 0;
            if (!(std::isalpha(first) || first == '_' || first == ':' || first >= 0x80)) {
                ++p;
                continue;
            }
            // The tag's end, stepping over quoted attribute values.
            const char* q = p + 1;
            char quote = 0;
            for (; q < end; ++q) {
                if (quote) {
                    if (*q == quote) quote = 0;
                } else if (*q == '"' || *q == '\'') {
                    quote = *q;
                } else if (*q == '>') {
                    break;
                }
            }
            if (q >= end) return true;
            if (q[-1] != '/' && ++depth > maxDepth) return false;
            p = q + 1;
        }
    }
    return true;
}

bool isBinaryPlist(const uint8_t* data, size_t size) {
    return size >= 8 + 32 && std::memcmp(data, "bplist00", 8) == 0;
}

}  // namespace

bool VDLPlistIsWithinBounds(const void* bytes, size_t size, size_t maxDepth) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    if (!data || size == 0) return true;
    if (isBinaryPlist(data, size)) return binaryWithinBounds(data, size, maxDepth);
    if (size >= 6 && std::memcmp(data, "bplist", 6) == 0) return false;  // another binary version
    const char* text = reinterpret_cast<const char*>(data);
    return xmlWithinBounds(text, text + size, maxDepth);
}

VDLPlist VDLPlistFromXML(const std::string& xml, size_t maxBytes) {
    if (xml.empty() || xml.size() > std::min<size_t>(maxBytes, std::numeric_limits<uint32_t>::max()))
        return VDLPlist();
    if (isBinaryPlist(reinterpret_cast<const uint8_t*>(xml.data()), xml.size())) return VDLPlist();
    if (!VDLPlistIsWithinBounds(xml.data(), xml.size())) return VDLPlist();
    plist_t root = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &root);
    return VDLPlist(root);
}

VDLPlist VDLPlistFromXML(const std::vector<uint8_t>& bytes, size_t maxBytes) {
    if (bytes.size() > maxBytes) return VDLPlist();
    return VDLPlistFromXML(std::string(bytes.begin(), bytes.end()), maxBytes);
}

VDLPlist VDLPlistFromMemory(const void* bytes, size_t size, size_t maxBytes) {
    if (!bytes || size == 0 || size > std::min<size_t>(maxBytes, std::numeric_limits<uint32_t>::max()))
        return VDLPlist();
    if (!VDLPlistIsWithinBounds(bytes, size)) return VDLPlist();
    plist_t root = nullptr;
    plist_from_memory(static_cast<const char*>(bytes), uint32_t(size), &root);
    return VDLPlist(root);
}

std::string VDLPlistToXML(plist_t node) {
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(node, &xml, &len);
    std::string out = xml ? std::string(xml, len) : std::string();
    if (xml) std::free(xml);
    return out;
}

VDLPlist VDLReadPlistFile(const std::string& path, VDLError* error, size_t maxBytes) {
    std::vector<uint8_t> bytes;
    if (!VDLReadRegularFile(path, bytes, maxBytes, error)) return VDLPlist();
    VDLPlist p = VDLPlistFromXML(bytes, maxBytes);
    if (!p) VDLPOSIXError(error, EINVAL, path);
    return p;
}

bool VDLWritePlistFile(const std::string& path, plist_t node, VDLError* error) {
    const std::string xml = VDLPlistToXML(node);
    return VDLWriteFileAtomically(path, xml.data(), xml.size(), error);
}

void VDLCoder::encodeFloat(float v, const char* key) { plist_dict_set_item(dict_, key, plist_new_real(double(v))); }
void VDLCoder::encodeDouble(double v, const char* key) { plist_dict_set_item(dict_, key, plist_new_real(v)); }
void VDLCoder::encodeInt(int64_t v, const char* key) { plist_dict_set_item(dict_, key, plist_new_uint(uint64_t(v))); }
void VDLCoder::encodeBool(bool v, const char* key) { plist_dict_set_item(dict_, key, plist_new_bool(v ? 1 : 0)); }

void VDLCoder::encodeString(const std::optional<std::string>& v, const char* key) {
    if (v) plist_dict_set_item(dict_, key, plist_new_string(v->c_str()));
}

plist_t VDLCoder::encodeDictionary(const char* key) {
    plist_t d = plist_new_dict();
    plist_dict_set_item(dict_, key, d);
    return d;
}

plist_t VDLCoder::encodeArray(const char* key) {
    plist_t a = plist_new_array();
    plist_dict_set_item(dict_, key, a);
    return a;
}

plist_t VDLCoder::appendDictionary(plist_t array) {
    plist_t d = plist_new_dict();
    plist_array_append_item(array, d);
    return d;
}

bool VDLCoder::containsValueForKey(const char* key) const {
    return dict_ && plist_get_node_type(dict_) == PLIST_DICT && plist_dict_get_item(dict_, key) != nullptr;
}

static plist_t item(plist_t dict, const char* key) {
    if (!dict || plist_get_node_type(dict) != PLIST_DICT) return nullptr;
    return plist_dict_get_item(dict, key);
}

float VDLCoder::decodeFloat(const char* key) const { return float(VDLPlistReal(item(dict_, key)).value_or(0.0)); }
double VDLCoder::decodeDouble(const char* key) const { return VDLPlistReal(item(dict_, key)).value_or(0.0); }
int64_t VDLCoder::decodeInt(const char* key) const { return VDLPlistInteger(item(dict_, key)).value_or(0); }
bool VDLCoder::decodeBool(const char* key) const { return VDLPlistBool(item(dict_, key)).value_or(false); }

std::optional<std::string> VDLCoder::decodeString(const char* key) const {
    plist_t n = item(dict_, key);
    if (!n || plist_get_node_type(n) != PLIST_STRING) return std::nullopt;
    return VDLPlistString(n);
}

plist_t VDLCoder::decodeDictionary(const char* key) const {
    plist_t n = item(dict_, key);
    return n && plist_get_node_type(n) == PLIST_DICT ? n : nullptr;
}

plist_t VDLCoder::decodeArray(const char* key) const {
    plist_t n = item(dict_, key);
    return n && plist_get_node_type(n) == PLIST_ARRAY ? n : nullptr;
}

std::optional<int64_t> VDLPlistInteger(plist_t n) {
    if (!n) return std::nullopt;
    switch (plist_get_node_type(n)) {
        case PLIST_UINT: {
            uint64_t v = 0;
            plist_get_uint_val(n, &v);
            return int64_t(v);
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(n, &d);
            if (!(d > -9.2e18 && d < 9.2e18)) return std::nullopt;
            return int64_t(d);
        }
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(n, &b);
            return int64_t(b ? 1 : 0);
        }
        case PLIST_STRING: {
            auto s = VDLPlistString(n);
            if (!s || s->empty()) return std::nullopt;
            char* end = nullptr;
            errno = 0;
            long long v = std::strtoll(s->c_str(), &end, 10);
            if (errno || end == s->c_str()) return std::nullopt;
            return int64_t(v);
        }
        default: return std::nullopt;
    }
}

std::optional<double> VDLPlistReal(plist_t n) {
    if (!n) return std::nullopt;
    if (plist_get_node_type(n) == PLIST_REAL) {
        double d = 0;
        plist_get_real_val(n, &d);
        return d;
    }
    if (auto i = VDLPlistInteger(n)) return double(*i);
    return std::nullopt;
}

std::optional<bool> VDLPlistBool(plist_t n) {
    if (!n) return std::nullopt;
    if (plist_get_node_type(n) == PLIST_BOOLEAN) {
        uint8_t b = 0;
        plist_get_bool_val(n, &b);
        return b != 0;
    }
    if (plist_get_node_type(n) == PLIST_STRING) {
        auto s = VDLPlistString(n);
        if (s && (*s == "YES" || *s == "true" || *s == "yes")) return true;
    }
    if (auto i = VDLPlistInteger(n)) return *i != 0;
    return std::nullopt;
}

std::optional<std::string> VDLPlistString(plist_t n) {
    if (!n || plist_get_node_type(n) != PLIST_STRING) return std::nullopt;
    // plist_get_string_val asserts (aborts) on a string with an embedded NUL, which a hostile
    // file can carry; the pointer accessor does not. Such a string is cut at the NUL.
    uint64_t length = 0;
    const char* s = plist_get_string_ptr(n, &length);
    if (!s) return std::string();
    return std::string(s, ::strnlen(s, size_t(length)));
}
