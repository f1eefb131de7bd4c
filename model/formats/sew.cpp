// SEW (older Janome) reader: a colour count and up to twelve Janome chart indices at the start,
// the stitch stream at a fixed offset. Y grows upward, like the model. Read only.
#include "VDLDesign.h"
#include "VDLJanomeStream.h"
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
    VDLDecodeJanomeStitchStream(*this, data, kStitchOffset, VDLJanomeStream::Sew);
    return true;
}
