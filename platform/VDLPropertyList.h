#pragma once
#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct VDLError;

// Owning handle of a libplist node tree.
struct VDLPlistDeleter {
    void operator()(void* p) const { if (p) plist_free(static_cast<plist_t>(p)); }
};
using VDLPlist = std::unique_ptr<void, VDLPlistDeleter>;

// Bounds of every property list we read. Our own lists nest at most six levels (a window state:
// plist, state, design, stitches, stitch, value; a colour archive: $objects, colour, value), so
// a list nesting deeper than kVDLPlistMaxDepth is no list of ours; the parser is recursive and
// a list a hundred thousand levels deep would overflow its stack. kVDLPlistMaxBytes holds the
// largest list we write (the window state of a design of several million stitches); a binary
// list may name one object from many places, so its expanded tree is bounded by
// kVDLPlistMaxNodes as well.
inline constexpr size_t kVDLPlistMaxDepth = 32;
inline constexpr size_t kVDLPlistMaxBytes = size_t(1) << 30;
inline constexpr uint64_t kVDLPlistMaxNodes = uint64_t(1) << 22;

// True when BYTES (an XML or a binary property list, or anything else) nests no deeper than
// MAX_DEPTH and, for a binary list, expands to at most kVDLPlistMaxNodes nodes and names only
// objects it holds. One linear pass without recursion; meant to run before the parser.
bool VDLPlistIsWithinBounds(const void* bytes, size_t size, size_t maxDepth = kVDLPlistMaxDepth);

// XML property lists in and out. Parsing fails (returns an empty handle) on anything that is
// not a well-formed XML property list, and on a list beyond the bounds above (or MAX_BYTES).
VDLPlist VDLPlistFromXML(const std::string& xml, size_t maxBytes = kVDLPlistMaxBytes);
VDLPlist VDLPlistFromXML(const std::vector<uint8_t>& bytes, size_t maxBytes = kVDLPlistMaxBytes);
// An XML or a binary property list, within the same bounds.
VDLPlist VDLPlistFromMemory(const void* bytes, size_t size, size_t maxBytes = kVDLPlistMaxBytes);
std::string VDLPlistToXML(plist_t node);

// Reads an XML property list file; an empty handle when it is missing or not a property list.
// Only a regular file of at most MAX_BYTES is read (see VDLReadRegularFile); a list beyond the
// bounds fails with EINVAL like any other file that is not a property list.
VDLPlist VDLReadPlistFile(const std::string& path, VDLError* error = nullptr, size_t maxBytes = kVDLPlistMaxBytes);
// Writes atomically (see VDLWriteFileAtomically).
bool VDLWritePlistFile(const std::string& path, plist_t node, VDLError* error = nullptr);

// Keyed coder over one dictionary node (not owned). Encoding adds entries; decoding reads
// them, a missing key or one of another type reading as 0, NO or none.
class VDLCoder {
public:
    explicit VDLCoder(plist_t dict) : dict_(dict) {}
    plist_t node() const { return dict_; }

    void encodeFloat(float v, const char* key);
    void encodeDouble(double v, const char* key);
    void encodeInt(int64_t v, const char* key);
    void encodeBool(bool v, const char* key);
    void encodeString(const std::optional<std::string>& v, const char* key);  // none: no entry
    // New child containers stored under KEY; returned nodes are owned by the parent.
    plist_t encodeDictionary(const char* key);
    plist_t encodeArray(const char* key);
    static plist_t appendDictionary(plist_t array);

    bool containsValueForKey(const char* key) const;
    float decodeFloat(const char* key) const;
    double decodeDouble(const char* key) const;
    int64_t decodeInt(const char* key) const;
    bool decodeBool(const char* key) const;
    std::optional<std::string> decodeString(const char* key) const;
    plist_t decodeDictionary(const char* key) const;  // nullptr when absent
    plist_t decodeArray(const char* key) const;       // nullptr when absent

private:
    plist_t dict_;
};

// Value accessors that accept whatever type a hand-edited file used.
std::optional<int64_t> VDLPlistInteger(plist_t node);   // integer, real (truncated), bool, numeric string
std::optional<double> VDLPlistReal(plist_t node);
std::optional<bool> VDLPlistBool(plist_t node);
std::optional<std::string> VDLPlistString(plist_t node);
