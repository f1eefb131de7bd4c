#include "VDLPropertyList.h"
#include "VDLError.h"
#include "VDLFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

VDLPlist VDLPlistFromXML(const std::string& xml) {
    if (xml.empty() || xml.size() > std::numeric_limits<uint32_t>::max()) return VDLPlist();
    plist_t root = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &root);
    return VDLPlist(root);
}

VDLPlist VDLPlistFromXML(const std::vector<uint8_t>& bytes) {
    return VDLPlistFromXML(std::string(bytes.begin(), bytes.end()));
}

std::string VDLPlistToXML(plist_t node) {
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(node, &xml, &len);
    std::string out = xml ? std::string(xml, len) : std::string();
    if (xml) std::free(xml);
    return out;
}

VDLPlist VDLReadPlistFile(const std::string& path, VDLError* error) {
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(path, bytes, error)) return VDLPlist();
    VDLPlist p = VDLPlistFromXML(bytes);
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
