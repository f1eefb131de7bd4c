// VP3 reader. VP3 is a big-endian container: a header with the hoop size in micrometres, then
// one section per colour block with the block's start position, its thread (colour, code,
// name, palette) and its stitch bytes. Every offset comes from a length field stored before it,
// so each one is checked against the file size before it is used. The stitch bytes store Y
// growing downward and are negated on reading; the block start positions and displacements
// store Y growing upward and are taken as they are.
#include "VDLBytes.h"
#include "VDLDesign.h"
#include "VDLFile.h"

#include <algorithm>

namespace {

constexpr int64_t kNoHeader = 150;
constexpr int64_t kNoStitchSection = 151;
constexpr int64_t kNoHoopData = 152;
constexpr int64_t kNoColors = 153;
constexpr int64_t kTooSmall = 154;

const char* const kNoHeaderText = "Unable to import VP3 file (missing header).";
const char* const kNoStitchSectionText = "Unable to import VP3 file (no stitch section).";
const char* const kNoHoopDataText = "Unable to import VP3 file (no hoop data).";
const char* const kNoColorsText = "Unable to import VP3 file (no colors).";
const char* const kTooSmallText = "Unable to import VP3 file (file too small for offset).";

// Big-endian reads at absolute offsets; false when the field does not lie inside the data.
bool u16At(std::span<const uint8_t> d, int64_t at, uint16_t& v) {
    VDLByteReader r(d);
    return r.seek(at) && r.u16be(v);
}
bool u32At(std::span<const uint8_t> d, int64_t at, uint32_t& v) {
    VDLByteReader r(d);
    return r.seek(at) && r.u32be(v);
}
bool i32At(std::span<const uint8_t> d, int64_t at, int32_t& v) {
    VDLByteReader r(d);
    return r.seek(at) && r.i32be(v);
}
bool latin1At(std::span<const uint8_t> d, int64_t at, size_t n, std::string& s) {
    VDLByteReader r(d);
    return r.seek(at) && r.latin1(n, s);
}

// Hoop size in micrometres to whole millimetres, rounded up, with the wrap-around of 32-bit
// arithmetic (no undefined behaviour on hostile values).
int32_t micrometresToHoopMM(int32_t um) {
    const int32_t biased = int32_t(uint32_t(um) + 999u);
    return biased / 1000;
}

// Difference of two micrometre positions in design units, truncated toward zero.
float micrometreOffset(int32_t to, int32_t from) {
    const int32_t diff = int32_t(uint32_t(to) - uint32_t(from));
    return float(diff / 100);
}

}  // namespace

bool VDLDesign::importVp3DesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "VP3";
    designVersion_ = 10;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importVp3DesignFromData(bytes, error);
}

bool VDLDesign::importVp3DesignFromData(std::span<const uint8_t> d, VDLError* error) {
    designType_ = "VP3";
    designVersion_ = 10;
    const int64_t length = int64_t(d.size());

    // File header.
    static const uint8_t kMagic[5] = {'%', 'v', 's', 'm', '%'};
    if (length <= 7 || !std::equal(kMagic, kMagic + 5, d.begin())) return VDLDesignError(error, kNoHeader, kNoHeaderText);
    uint16_t l1 = 0, l2 = 0;
    u16At(d, 6, l1);
    const int64_t o1 = int64_t(l1) + 15;
    if (o1 > length - 2) return VDLDesignError(error, kNoHeader, kNoHeaderText);
    u16At(d, o1, l2);
    const int64_t base = o1 + l2;
    if (base + 61 > length - 8) return VDLDesignError(error, kNoHoopData, kNoHoopDataText);
    int32_t hoopW = 0, hoopH = 0;
    i32At(d, base + 61, hoopW);
    i32At(d, base + 65, hoopH);
    designHoop_ = VDLHoop("", "", 0, micrometresToHoopMM(hoopW), micrometresToHoopMM(hoopH), false, false, false);

    const int64_t o3 = base + 69;
    uint16_t l3 = 0, l4 = 0, blockCount = 0;
    if (o3 > length - 2) return VDLDesignError(error, kNoStitchSection, kNoStitchSectionText);
    u16At(d, o3, l3);
    const int64_t o4 = o3 + l3 + 26;
    if (o3 + l3 + 20 > length || o4 > length - 2) return VDLDesignError(error, kNoStitchSection, kNoStitchSectionText);
    u16At(d, o4, l4);
    const int64_t o5 = o4 + l4 + 2;
    if (o5 > length - 2) return VDLDesignError(error, kNoColors, kNoColorsText);
    u16At(d, o5, blockCount);
    if (blockCount == 0) return VDLDesignError(error, kNoColors, kNoColorsText);

    resetBoundsForReading();
    // Every block takes at least 20 bytes, so the file bounds how many can follow.
    threads_.reserve(std::min<size_t>(blockCount, d.size() / 20 + 1));
    stitches_.reserve(d.size() / 2);
    int32_t expectedX = 0, expectedY = 0;  // where the previous block ended, micrometres
    float x = 0, y = 0;
    // A block offset that found no stitch to land on is carried to the next stitch read, so
    // the blocks after an empty one still sit where the file puts them.
    float pendingX = 0, pendingY = 0;
    int64_t p = o5 + 2;

    for (int b = 0; b < blockCount; ++b) {
        // The fixed part of the block (length, start, colour) must be there before any of it
        // is read.
        if (p + 20 > length) return VDLDesignError(error, kTooSmall, kTooSmallText);
        uint32_t rest = 0;
        int32_t startX = 0, startY = 0;
        u32At(d, p + 3, rest);
        i32At(d, p + 7, startX);
        i32At(d, p + 11, startY);
        const int64_t next = p + 7 + int64_t(rest);

        // The start is in micrometres with Y upward, unlike the stitch bytes: files written by
        // the machines' own software store each block's displacement y as minus the sum of
        // its stitch dy bytes, so the start's y is not negated.
        const float ox = micrometreOffset(startX, expectedX);
        const float oy = micrometreOffset(startY, expectedY);
        if (ox != 0 || oy != 0) designVersion_ = 20;
        pendingX += ox;
        pendingY += oy;

        const int64_t colorEntries = d[size_t(p + 15)];
        const uint8_t red = d[size_t(p + 17)], green = d[size_t(p + 18)], blue = d[size_t(p + 19)];
        const int64_t a = p + 21 + 6 * colorEntries;
        uint16_t l5 = 0, l6 = 0, l7 = 0, l8 = 0;
        std::string code, name, palette;
        if (!u16At(d, a - 2, l5) || !latin1At(d, a, l5, code) || !u16At(d, a + l5, l6) ||
            !latin1At(d, a + l5 + 2, l6, name) || !u16At(d, a + l5 + 2 + l6, l7))
            return VDLDesignError(error, kTooSmall, kTooSmallText);
        const int64_t c = a + l5 + 4 + l6;
        if (!latin1At(d, c, l7, palette)) return VDLDesignError(error, kTooSmall, kTooSmallText);
        const int64_t dpos = c + l7;
        int32_t dispX = 0, dispY = 0;
        if (!i32At(d, dpos, dispX) || !i32At(d, dpos + 4, dispY) || !u16At(d, dpos + 8, l8) ||
            dpos + l8 + 19 > length)
            return VDLDesignError(error, kTooSmall, kTooSmallText);

        const std::string threadName = l6 == 0 ? code : name + " (" + code + ")";
        threads_.emplace_back(VDLColor(red / 255.0, green / 255.0, blue / 255.0), threadName, "", "", palette);

        // Stitch bytes. A record that would run past the end of the file ends the block.
        const size_t blockStart = stitches_.size();
        int64_t q = dpos + 17 + l8;
        while (q < next - 1) {
            if (q + 2 > length) break;
            float dx, dy;
            bool jump = false;
            if (d[size_t(q)] != 0x80) {
                dx = float(int8_t(d[size_t(q)]));
                dy = -float(int8_t(d[size_t(q + 1)]));
                q += 2;
            } else if (d[size_t(q + 1)] == 0x01) {
                if (q + 8 > length) break;
                const int16_t jx = int16_t(uint16_t(d[size_t(q + 2)] << 8 | d[size_t(q + 3)]));
                const int16_t jy = int16_t(uint16_t(d[size_t(q + 4)] << 8 | d[size_t(q + 5)]));
                dx = float(jx);
                dy = -float(jy);
                jump = true;
                q += 8;
            } else {
                dx = 0;
                dy = 0;
                q += 2;
            }
            if (pendingX != 0 || pendingY != 0) {
                dx += pendingX;
                dy += pendingY;
                pendingX = pendingY = 0;
            }
            stitches_.emplace_back(dx, dy, jump, false);
            x += dx;
            y += dy;
            if (x < xMin_) xMin_ = x;
            if (x > xMax_) xMax_ = x;
            if (y < yMin_) yMin_ = y;
            if (y > yMax_) yMax_ = y;
        }

        // The last stitch of each block but the final one carries the colour change. A block
        // without stitches of its own gets a zero-length record for it, so the design keeps
        // one thread more than it has colour changes.
        if (b < blockCount - 1) {
            if (stitches_.size() == blockStart) {
                stitches_.emplace_back(0.0f, 0.0f, false, true);
                if (x < xMin_) xMin_ = x;
                if (x > xMax_) xMax_ = x;
                if (y < yMin_) yMin_ = y;
                if (y > yMax_) yMax_ = y;
            } else {
                stitches_.back().isColorChange = true;
            }
        }

        expectedX = int32_t(uint32_t(startX) + uint32_t(dispX));
        expectedY = int32_t(uint32_t(startY) + uint32_t(dispY));
        p = next;
    }
    return true;
}
