// SEW (older Janome) reader: a colour count and up to twelve Janome chart indices at the start,
// the stitch stream at a fixed offset. Y grows upward, like the model. Read only.
#include "VDLDesign.h"
#include "VDLBytes.h"
#include "VDLFile.h"

#include <algorithm>

namespace {

constexpr size_t kStitchOffset = 7544;
constexpr uint16_t kMaxColors = 12;

}  // namespace

bool VDLDesign::importSewDesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "SEW";
    designVersion_ = 10;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importSewDesignFromData(bytes, error);
}

bool VDLDesign::importSewDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "SEW";
    designVersion_ = 10;
    if (data.size() <= kStitchOffset)
        return VDLDesignError(error, 90, "Unable to read SEW: file size too small to hold any stitches.");

    VDLByteReader r(data);
    uint16_t n = 0;
    r.u16le(n);
    if (n < 1 || n > kMaxColors) return VDLDesignError(error, 91, "Unable to read SEW: Number of colors invalid.");

    // No fallback thread here: an index the chart lacks gives the grey thread of a missing key.
    const auto& codes = janomeColorCodes();
    for (uint16_t i = 0; i < n; ++i) {
        uint16_t index = 0;
        r.u16le(index);
        if (index > kMaxColors) designVersion_ = 20;
        auto it = codes.find(int32_t(index));
        threads_.emplace_back(it == codes.end() ? std::string() : it->second, "Janome");
    }

    resetBoundsForReading();
    const size_t size = data.size();
    stitches_.reserve(stitches_.size() + (size - kStitchOffset) / 2);
    float x = 0, y = 0;
    size_t pos = kStitchOffset;
    while (pos + 1 < size) {
        const uint8_t b0 = data[pos];
        float dx = 0, dy = 0;
        bool jump = false, change = false;
        if (b0 == 0x80) {
            if (pos + 4 > size) break;
            const uint8_t b1 = data[pos + 1];
            if (b1 == 0x01) {
                change = true;  // the two bytes after it are not a move
                pos += 4;
            } else if (b1 == 0x02) {
                dx = float(int8_t(data[pos + 2]));
                dy = float(int8_t(data[pos + 3]));
                jump = true;
                pos += 4;
            } else if (b1 == 0x10) {
                break;
            } else {
                pos += 2;  // any other command is a stitch that does not move
            }
        } else {
            dx = float(int8_t(b0));
            dy = float(int8_t(data[pos + 1]));
            pos += 2;
        }
        stitches_.emplace_back(dx, dy, jump, change);
        x += dx;
        y += dy;
        xMin_ = std::min(xMin_, x);
        xMax_ = std::max(xMax_, x);
        yMin_ = std::min(yMin_, y);
        yMax_ = std::max(yMax_, y);
    }
    return true;
}
