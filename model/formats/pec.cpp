// PEC: a bare PEC block behind the signature "#PEC0001", read directly by Brother machines.
// The file carries only the whole-design thumbnail, right after the block's end marker.
#include "VDLDesign.h"
#include "VDLFile.h"

#include <cstring>

namespace {

constexpr size_t kSignatureLength = 8;
constexpr size_t kBlockAt = 8;
// The block stores the start of its thumbnails as a 24-bit offset from block offset 512.
constexpr size_t kMaxGraphicsOffset = 0xFFFFFF;

int32_t versionDigits(std::span<const uint8_t> text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int32_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
    return negative ? -v : v;
}

}  // namespace

bool VDLDesign::importPecDesignFromURL(const VDLURL& url, VDLError* error) {
    std::vector<uint8_t> bytes;
    VDLReadFile(url.path(), bytes, nullptr);  // an unreadable file counts as empty
    return importPecDesignFromData(bytes, error);
}

bool VDLDesign::importPecDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "PEC";
    if (data.size() < kSignatureLength + 3 || std::memcmp(data.data(), "#PEC", 4) != 0)
        return VDLDesignError(error, 30, "Unable to import PES/PEC file (missing header).");
    if (versionDigits(data.subspan(4, 4)) != 1)
        return VDLDesignError(error, 31, "Unable to import PES/PEC file (unsupported version).");
    designVersion_ = 10;
    if (std::memcmp(data.data() + kBlockAt, "LA:", 3) != 0)
        return VDLDesignError(error, 32, "Unable to import PES file (PEC part missing).");

    resetBoundsForReading();
    return importPecSegmentFromData(data.subspan(kBlockAt + 3), error);
}

std::vector<uint8_t> VDLDesign::exportPecDesignToData() {
    std::vector<uint8_t> out = {'#', 'P', 'E', 'C', '0', '0', '0', '1'};
    const std::vector<uint8_t> block = exportPecSegmentToData();
    const std::vector<uint8_t> thumbnail = exportPecBitmapToDataForThread(-1);
    out.reserve(out.size() + block.size() + thumbnail.size());
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), thumbnail.begin(), thumbnail.end());
    return out;
}

bool VDLDesign::exportPecDesignToURL(const VDLURL& url, VDLError* error) {
    const std::vector<uint8_t> bytes = exportPecDesignToData();
    // A stitch stream too long for the block's 24-bit thumbnail offset cannot be read back.
    if (bytes.size() > kSignatureLength + 512 + kMaxGraphicsOffset + 228)
        return VDLDesignError(error, 203, "Too many stitches");
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) return false;
    designType_ = "PEC";
    designVersion_ = 10;
    designHoop_.reset();
    return true;
}
