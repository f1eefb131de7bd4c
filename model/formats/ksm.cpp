// KSM reader: a 512-byte header we do not need, then three-byte records (|y|, |x|, control
// code). The control code carries the signs, the end mark, colour changes and the switching of
// jump mode. Y is stored upward, as we keep it.
#include "VDLDesign.h"
#include "VDLUndefinedThreads.h"
#include "VDLFile.h"

namespace {

constexpr size_t kHeaderSize = 512;
constexpr size_t kRecordSize = 3;

}  // namespace

bool VDLDesign::importKsmDesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "KSM";
    designVersion_ = 10;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importKsmDesignFromData(bytes, error);
}

bool VDLDesign::importKsmDesignFromData(std::span<const uint8_t> d, VDLError* error) {
    designType_ = "KSM";
    designVersion_ = 10;
    if (d.size() < kHeaderSize + kRecordSize) return VDLDesignError(error, 170, "Unable to read KSM (file too small)");

    VDLUndefinedThreads undefinedThreads;
    threads_.push_back(undefinedThreads.forIndex(0));
    resetBoundsForReading();
    stitches_.reserve((d.size() - kHeaderSize) / kRecordSize);
    float x = 0, y = 0;
    bool jumpMode = true;

    for (size_t at = kHeaderSize; at + kRecordSize <= d.size(); at += kRecordSize) {
        const uint8_t c = d[at + 2];
        if ((c & 0x80) == 0) return VDLDesignError(error, 171, "Unable to read KSM (invalid stich data)");
        if (c == 0x88) return true;

        float dx = float(d[at + 1]);
        float dy = float(d[at]);
        if (c & 0x40) dx = -dx;
        if (c & 0x20) dy = -dy;
        if (c == 0x89 || (c & 0x8F) == 0x87) jumpMode = true;

        const bool change = c == 0x8B || (c & 0x8C) == 0x8C;
        if (change) threads_.push_back(undefinedThreads.forIndex(threads_.size()));
        const bool jump = change || jumpMode;

        stitches_.emplace_back(dx, dy, jump, change);
        x += dx;
        y += dy;
        if (x < xMin_) xMin_ = x;
        if (x > xMax_) xMax_ = x;
        if (y < yMin_) yMin_ = y;
        if (y > yMax_) yMax_ = y;

        jumpMode = (c & 0x9E) == 0x98 ? false : jump;
    }
    return true;
}
