// PES: Brother's design file for personal-computer software and newer machines. A PES section
// (header, the "CEmbOne" object, the "CSewSeg" stitch blocks, a colour table) followed by the
// PEC block that the machines sew. Every version is read through its PEC block only; the
// writer writes version 1 ("#PES0001").
#include "VDLBytes.h"
#include "VDLDesign.h"
#include "VDLFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kSignatureLength = 8;
constexpr size_t kPecOffsetAt = 8;
const uint8_t kLabel[3] = {'L', 'A', ':'};

// Versions read (the value of the four signature digits). 100, 110 and 111 are what current
// Brother software writes; like the others they hold one PEC block at the header's PEC offset.
constexpr int32_t kAcceptedVersions[] = {1, 20, 25, 30, 40, 50, 55, 56, 60, 70, 71, 80, 90, 100, 110, 111};

// Writer limits of PES version 1.
constexpr int32_t kMaxWidth = 1300, kMaxHeight = 1800;
constexpr float kMaxX = 650.0f, kMaxY = 900.0f;
constexpr int64_t kMaxThreads = 64;
constexpr int32_t kMaxStitches = 30000;

// The integer value of a short text the way the signature digits are read: leading blanks,
// an optional sign, then decimal digits up to the first other character; 0 when there are none.
int32_t integerValue(std::span<const uint8_t> text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
    return int32_t(negative ? -v : v);
}

// A value truncated toward zero into a signed 16-bit field (values outside the field's range,
// which the writer's limits exclude, are clamped rather than wrapped).
int16_t truncated16(double v) {
    if (!(v == v)) return 0;
    v = std::trunc(v);
    return int16_t(std::clamp(v, -32768.0, 32767.0));
}

// A point coordinate: rounded half away from zero from single precision.
int16_t rounded16(double v) { return truncated16(double(std::round(float(v)))); }

void putName(VDLByteWriter& w, const char* name) {
    w.u16le(0xFFFF);
    w.u16le(0);
    w.u16le(uint16_t(std::strlen(name)));
    w.ascii(name);
}

}  // namespace

bool VDLDesign::importPesDesignFromURL(const VDLURL& url, VDLError* error) {
    std::vector<uint8_t> bytes;
    VDLReadFile(url.path(), bytes, nullptr);  // an unreadable file counts as empty
    return importPesDesignFromData(bytes, error);
}

bool VDLDesign::importPesDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "PES";
    if (data.size() < kSignatureLength || std::memcmp(data.data(), "#PES", 4) != 0)
        return VDLDesignError(error, 30, "Unable to import PES file (missing header).");

    const int32_t version = integerValue(data.subspan(4, 4));
    if (std::find(std::begin(kAcceptedVersions), std::end(kAcceptedVersions), version) == std::end(kAcceptedVersions))
        return VDLDesignError(error, 31, "Unable to import PES file (unsupported version).");
    designVersion_ = version == 1 ? 10 : version;

    // The PEC block begins with the first "LA:" of the file.
    auto labelAt = [&](size_t from) -> size_t {
        auto it = std::search(data.begin() + std::ptrdiff_t(from), data.end(), std::begin(kLabel), std::end(kLabel));
        return it == data.end() ? std::string::npos : size_t(it - data.begin());
    };
    const size_t block = labelAt(0);
    if (block == std::string::npos) return VDLDesignError(error, 32, "Unable to import PES file (PEC part missing).");
    if (labelAt(block + 1) != std::string::npos) {
        // A second "LA:" means several PEC parts, which no supported version has. The bytes
        // may, however, occur by chance inside the PEC block itself (in its label, stitch data
        // or thumbnails); that block is still the one the header's PEC offset points at.
        uint32_t pecOffset = 0;
        VDLByteReader header(data, kPecOffsetAt);
        if (!header.u32le(pecOffset) || pecOffset != block)
            return VDLDesignError(error, 33,
                                  "Unable to import PES file (PEC multiparts not supported by PES file version).",
                                  true);
    }

    resetBoundsForReading();
    return importPecSegmentFromData(data.subspan(block + sizeof kLabel), error);
}

std::vector<uint8_t> VDLDesign::exportPesDesignToData() {
    VDLByteWriter w;
    w.reserve(200 + stitches_.size() * 6 + threads_.size() * 240);

    w.ascii("#PES0001");
    w.u32le(0);  // PEC offset, set below
    w.u16le(0);
    w.u16le(1);
    w.u16le(1);
    putName(w, "CEmbOne");

    // The design's extent mirrored about the centre 1000, twice.
    const double xMin = double(xMin_), yMin = double(yMin_);
    for (int i = 0; i < 2; ++i) {
        w.i16le(truncated16(xMin + 1000.0));
        w.i16le(truncated16(yMin + 1000.0));
        w.i16le(truncated16(1000.0 - xMin));
        w.i16le(truncated16(1000.0 - yMin));
    }
    const float transform[6] = {1.0f, 0.0f, 0.0f, 1.0f, 1000.0f, 1000.0f};
    for (float f : transform) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        w.u32le(bits);
    }
    w.u16le(1);
    w.i16le(truncated16(xMin_));
    w.i16le(truncated16(-yMin_));
    w.i16le(truncated16(designWidth()));
    w.i16le(truncated16(designHeight()));
    w.fill(0, 10);
    putName(w, "CSewSeg");

    // Stitch blocks: absolute points, Y negated (PES stores Y growing downward). A new block
    // starts after every jump and colour change; blocks are separated by 03 08.
    int32_t thread = 0;
    size_t countAt = 0;
    uint16_t count = 0;
    auto openBlock = [&](uint16_t type, int32_t colorIndex) {
        w.u16le(type);
        w.u16le(uint16_t(colorIndex));
        countAt = w.size();
        w.u16le(0);
        count = 0;
    };
    auto closeBlock = [&] { w.putU16le(countAt, count); };
    auto point = [&](double x, double y) {
        w.i16le(rounded16(x));
        w.i16le(rounded16(-y));
        ++count;
    };
    auto separator = [&] {
        w.u8(0x03);
        w.u8(0x08);
    };

    openBlock(0, colorIndexForThread(thread, "Brother"));
    double X = 0, Y = 0;
    size_t i = 0;
    // Leading jumps are not written: they only move the start position.
    for (; i < stitches_.size() && stitches_[i].isJumpStitch && !stitches_[i].isColorChange; ++i) {
        X += stitches_[i].deltaX;
        Y += stitches_[i].deltaY;
    }
    for (; i < stitches_.size(); ++i) {
        const VDLStitch& s = stitches_[i];
        const double nx = X + s.deltaX, ny = Y + s.deltaY;
        if (s.isColorChange) {
            closeBlock();
            separator();
            ++thread;
            openBlock(1, colorIndexForThread(thread, "Brother"));
            point(X, Y);
            point(nx, ny);
        }
        if (s.isColorChange || s.isJumpStitch) {
            closeBlock();
            separator();
            openBlock(0, colorIndexForThread(thread, "Brother"));
            point(nx, ny);
            point(nx, ny);
        } else {
            point(nx, ny);
        }
        X = nx;
        Y = ny;
    }
    closeBlock();

    // Colour table: block number 3 x i and the Brother index of every thread.
    w.u16le(uint16_t(threads_.size()));
    for (size_t t = 0; t < threads_.size(); ++t) {
        w.u16le(uint16_t(3 * t));
        w.u16le(uint16_t(colorIndexForThread(int32_t(t), "Brother")));
    }
    w.fill(0, 4);

    w.putU32le(kPecOffsetAt, uint32_t(w.size()));
    std::vector<uint8_t> pec = exportPecSegmentToData();
    w.bytes(pec);
    w.bytes(exportPecBitmapToDataForThread(-1));
    for (size_t t = 0; t < threads_.size(); ++t) w.bytes(exportPecBitmapToDataForThread(int32_t(t)));
    return w.take();
}

bool VDLDesign::exportPesDesignToURL(const VDLURL& url, VDLError* error) {
    if (designWidth() > kMaxWidth || designHeight() > kMaxHeight)
        return VDLDesignError(error, 200, "The design is larger than supported by PES v1.0.");
    if (xMin_ < -kMaxX || xMax_ > kMaxX || yMin_ < -kMaxY || yMax_ > kMaxY)
        return VDLDesignError(error, 201, "The design needs to be centered.");
    if (numberOfThreads() > kMaxThreads) return VDLDesignError(error, 202, "Too many colors");
    if (numberOfStitches() > kMaxStitches) return VDLDesignError(error, 203, "Too many stitches");

    const std::vector<uint8_t> bytes = exportPesDesignToData();
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) return false;
    designType_ = "PES";
    designVersion_ = 10;
    designHoop_.reset();
    return true;
}
