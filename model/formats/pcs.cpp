// Pfaff's PCS, PCD and PCQ family: a small header (type or hoop code, up to 16 palette colours,
// a record count) and 9-byte records holding absolute positions in 1/6 mm, measured from the
// hoop's corner. One reader handles all three; only PCS is written. Y is stored upward.
#include "VDLBytes.h"
#include "VDLDesign.h"
#include "VDLFile.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t kMagic = 0x32;
constexpr size_t kRecordSize = 9;
constexpr uint8_t kKindStitch = 0x00;
constexpr uint8_t kKindColor = 0x03;
constexpr uint8_t kKindJump = 0x04;
constexpr int kPaletteEntries = 16;
constexpr int64_t kMaxThreads = 16;
constexpr int64_t kMaxStitches = 14000;
// One stored unit is 1/6 mm: this many design units (0.1 mm).
constexpr double kUnitsPerStep = 1.6666666667;
constexpr double kStepsPerUnit = 0.6;
// The farthest position from the hoop corner, in stored units: 120 mm across, 115 mm down.
constexpr int32_t kMaxStoredX = 120 * 6;
constexpr int32_t kMaxStoredY = 115 * 6;

const char* const kTooSmallText = "Unable to read PCx (file too small)";

// The family's 24-bit coordinate: values from 0x800000 up are negative, offset by 0xFFFFFF
// (one less than two's complement would use).
int32_t decodeCoordinate(uint32_t v) { return v < 0x800000 ? int32_t(v) : int32_t(v) - 0xFFFFFF; }

uint32_t read24(std::span<const uint8_t> d, size_t at) {
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16;
}

// A position in design units (relative to the hoop centre) to the stored 24-bit value: to
// 1/6 mm, rounded half away from zero, negative values offset by 0xFFFFFF.
uint32_t encodeCoordinate(int32_t halfHoopUnits, float position) {
    double v = double(float(halfHoopUnits) + position) * kStepsPerUnit;
    if (!(v == v)) v = 0;  // NaN
    const double limit = double(0x7FFFFF);
    v = std::clamp(std::round(v), -limit, limit);
    const int32_t n = int32_t(v);
    return n < 0 ? uint32_t(n + 0xFFFFFF) : uint32_t(n);
}

uint8_t colorByte(double component) {
    const double v = component * 255.0;
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return uint8_t(v);
}

void write24(VDLByteWriter& w, uint32_t v) {
    w.u8(uint8_t(v));
    w.u8(uint8_t(v >> 8));
    w.u8(uint8_t(v >> 16));
}

void writeColorRecord(VDLByteWriter& w, uint8_t index) {
    w.u8(index);
    w.fill(0, 7);
    w.u8(kKindColor);
}

}  // namespace

bool VDLDesign::importPcxDesignFromURL(const VDLURL& url, VDLError* error) {
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importPcxDesignFromData(bytes, error);
}

bool VDLDesign::importPcxDesignFromData(std::span<const uint8_t> d, VDLError* error) {
    const size_t length = d.size();
    if (length < 6) return VDLDesignError(error, 160, kTooSmallText);
    if (d[0] != kMagic) return VDLDesignError(error, 161, "Unable to read PCx (missing magic)");
    switch (d[1]) {
        case 0: designType_ = "PCD"; break;
        case 1: designType_ = "PCQ"; break;
        case 2:
        case 3:
            designType_ = "PCS";
            setHoopFromVendor("Pfaff", d[1]);
            break;
        default: return VDLDesignError(error, 162, "Unable to read PCx (invalid type)");
    }
    designVersion_ = 20;
    const bool isPCS = designType_ == "PCS";

    const size_t colorCount = size_t(d[2]) | size_t(d[3]) << 8;
    if (colorCount > kPaletteEntries) return VDLDesignError(error, 163, "Unable to read PCx (color palette > 16)");
    if (length < 4 * colorCount + 6) return VDLDesignError(error, 160, kTooSmallText);
    const size_t countAt = 4 + 4 * colorCount;
    const size_t recordCount = size_t(d[countAt]) | size_t(d[countAt + 1]) << 8;
    if (4 * colorCount + 8 + kRecordSize * recordCount > length) return VDLDesignError(error, 160, kTooSmallText);

    resetBoundsForReading();
    const int32_t hoopW = hoopWidth();
    const int32_t hoopH = hoopHeight();
    float px = 0, py = 0;  // previous record's position
    float x = 0, y = 0;    // running end point of the stitch list
    size_t colorRecords = 0;
    const size_t firstRecord = 6 + 4 * colorCount;

    if (recordCount != 0 && 4 * colorCount + 14 < length) {
        stitches_.reserve(std::min(recordCount, (length - firstRecord) / kRecordSize));
        for (size_t i = 0, at = firstRecord; at + kRecordSize <= length; ++i, at += kRecordSize) {
            const uint8_t* r = d.data() + at;
            const uint32_t rawX = read24(d, at + 1);
            const uint32_t rawY = read24(d, at + 5);
            const int32_t sx = decodeCoordinate(rawX);
            const int32_t sy = decodeCoordinate(rawY);
            // Nothing lies beyond 120 mm across or 115 mm down from the hoop corner. The stored
            // values are compared, not their products with the rounded unit factor: 720 · 1.6666666667
            // exceeds 1200 by a hair, yet 720 sixths of a millimetre are exactly 120 mm.
            if (sx > kMaxStoredX || sy > kMaxStoredY)
                return VDLDesignError(error, 165, "Unable to read PCx (invalid stitch position)");
            float qx = float(sx * kUnitsPerStep - 5.0 * hoopW);
            float qy = float(sy * kUnitsPerStep - 5.0 * hoopH);

            const uint8_t kind = r[8];
            bool jump = false;
            bool change = false;
            if (kind == kKindColor && isPCS) {
                const uint8_t index = r[0];
                if (index >= colorCount) return VDLDesignError(error, 164, "Unable to read PCS (invalid color index)");
                const uint8_t red = d[4 + 4 * index], green = d[5 + 4 * index], blue = d[6 + 4 * index];
                // Records before the first colour record form a block of their own: it gets
                // a thread too, so the design keeps one thread more than colour changes.
                if (i >= 1 && threads_.empty()) threads_.emplace_back("1", "Undefined");
                threads_.emplace_back(VDLColor(red / 255.0, green / 255.0, blue / 255.0),
                                      VDLFormat(VDLLocalizedString("COLOR_INDIVIDUAL", "VDLDesign",
                                                                   "Individual color (%i, %i, %i)"),
                                                int64_t(red), int64_t(green), int64_t(blue)),
                                      "", "", VDLLocalizedString("PATTERN_PALETTE", "VDLDesign", "Threadcolors"));
                ++colorRecords;
                change = true;
                if (rawX == 0 || rawY == 0) {
                    qx = px;
                    qy = py;
                } else {
                    designVersion_ = 21;
                }
            } else if (kind == kKindJump && isPCS) {
                jump = true;
            } else if (kind != kKindColor && qx == px && qy == py && !stitches_.empty()) {
                stitches_.back().isJumpStitch = true;
            }

            if (i >= 1) {
                const float dx = qx - px;
                const float dy = qy - py;
                if (std::fabs(dx) > 120 || std::fabs(dy) > 120) jump = true;
                stitches_.emplace_back(dx, dy, jump, change);
                x += dx;
                y += dy;
                if (x < xMin_) xMin_ = x;
                if (x > xMax_) xMax_ = x;
                if (y < yMin_) yMin_ = y;
                if (y > yMax_) yMax_ = y;
            }
            px = qx;
            py = qy;
            if (i + 1 >= recordCount + colorRecords) break;
        }
    }

    if (threads_.empty()) threads_.emplace_back("1", "Undefined");
    if (!isPCS) xMin_ = std::min(xMin_, 0.0f);
    return true;
}

std::vector<uint8_t> VDLDesign::exportPcsDesignToData() const {
    const int32_t halfW = 5 * hoopWidth();
    const int32_t halfH = 5 * hoopHeight();
    VDLByteWriter w;
    w.reserve(6 + 4 * kPaletteEntries + kRecordSize * (stitches_.size() + threads_.size()) + 13);
    w.u8(kMagic);
    w.u8(uint8_t(designHoop_ ? designHoop_->code() : 0));
    w.u16le(kPaletteEntries);
    for (int i = 0; i < kPaletteEntries; ++i) {
        if (size_t(i) < threads_.size()) {
            const VDLColor& c = threads_[size_t(i)].color();
            w.u8(colorByte(c.red()));
            w.u8(colorByte(c.green()));
            w.u8(colorByte(c.blue()));
            w.u8(0);
        } else {
            w.fill(0, 4);
        }
    }
    // The count of position records: one per stitch record, colour changes included, so that
    // a reader stopping after this many non-colour records reads the whole design.
    w.u16le(uint16_t(std::min<size_t>(stitches_.size(), 0xFFFF)));
    writeColorRecord(w, 0);
    float x = 0, y = 0;
    uint8_t nextColor = 1;
    for (const VDLStitch& s : stitches_) {
        x += s.deltaX;
        y += s.deltaY;
        if (s.isColorChange) writeColorRecord(w, nextColor++);
        w.u8(0);
        write24(w, encodeCoordinate(halfW, x));
        w.u8(0);
        write24(w, encodeCoordinate(halfH, y));
        w.u8(s.isJumpStitch ? kKindJump : kKindStitch);
    }
    w.fill(0, 13);
    return w.take();
}

bool VDLDesign::exportPcsDesignToURL(const VDLURL& url, VDLError* error) {
    if (int64_t(threads_.size()) > kMaxThreads)
        return VDLDesignError(error, 180, "Unable to export PCS file (too many colors).");
    if (numberOfStitches() > kMaxStitches)
        return VDLDesignError(error, 181, "Unable to export PCS file (too many stitches).");
    if (!checkHoopForVendor("Pfaff", "Operation aborted: Design exceeds largest hoop size.",
                            "Unable to export file (unsupported hoop).", error))
        return false;

    const std::vector<uint8_t> bytes = exportPcsDesignToData();
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) return false;

    // PCS keeps colours only: the threads become the individual colours that were written.
    // Done after the write, so a failed save leaves the threads as they were.
    if (!useThreadFile_)
        for (VDLThread& t : threads_) t.changeToColor(t.color(), "");
    designType_ = "PCS";
    designVersion_ = 20;
    return true;
}
