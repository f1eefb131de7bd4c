// EXP (Melco) reader and writer: a headerless stream of two-byte moves (signed bytes, Y up)
// with four-byte escape records (0x80 first) for colour changes, jumps and null stitches.
// EXP carries no colours: threads are the keys "1".."20" of "Undefined".
#include "VDLDesign.h"
#include "VDLUndefinedThreads.h"
#include "VDLFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

constexpr uint8_t kEscape = 0x80;

using UndefinedThreads = VDLUndefinedThreads;

// The move byte of DELTA plus the carried residual, rounded down. A byte holds −127..127 here:
// −128 is the escape byte and would be misread as a record of its own, so a larger move
// writes what fits and carries the rest (the normalised lists the writer gets never need it).
uint8_t moveByte(float delta, float& residual) {
    float f = std::floor(delta + residual);
    if (std::isnan(f)) f = 0;
    f = std::clamp(f, -127.0f, 127.0f);
    residual = residual + delta - f;
    return static_cast<uint8_t>(static_cast<int8_t>(f));
}

}  // namespace

bool VDLDesign::importExpDesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "EXP";
    designVersion_ = 10;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importExpDesignFromData(bytes, error);
}

bool VDLDesign::importExpDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "EXP";
    designVersion_ = 10;
    const size_t length = data.size();
    if (length % 2 != 0)
        return VDLDesignError(error, 100, "Unable to read EXP: file contains uneven number of bytes.");

    resetBoundsForReading();
    UndefinedThreads palette;
    threads_.push_back(palette.forIndex(0));
    stitches_.reserve(stitches_.size() + length / 2);

    float x = 0, y = 0;
    size_t p = 0;
    while (p + 1 < length) {
        VDLStitch s;
        if (data[p] != kEscape) {
            s = VDLStitch::initWithData(float(int8_t(data[p])), float(int8_t(data[p + 1])), false, false);
            p += 2;
        } else {
            if (p + 4 > length) break;  // escape record cut off by the end of the file
            const auto c = int8_t(data[p + 1]);
            if (c % 2 == 1) {  // positive odd: a colour change (negative odd bytes are jumps)
                threads_.push_back(palette.forIndex(threads_.size()));
                s = VDLStitch::initWithData(0, 0, false, true);
            } else if (data[p + 1] == kEscape) {
                s = VDLStitch::initWithData(0, 0, false, false);
            } else {
                s = VDLStitch::initWithData(float(int8_t(data[p + 2])), float(int8_t(data[p + 3])), true, false);
            }
            p += 4;
        }
        stitches_.push_back(s);
        x += s.deltaX;
        y += s.deltaY;
        if (x < xMin_) xMin_ = x;
        if (x > xMax_) xMax_ = x;
        if (y < yMin_) yMin_ = y;
        if (y > yMax_) yMax_ = y;
    }
    return true;
}

std::vector<uint8_t> VDLDesign::exportExpDesignToData() {
    size_t size = 0;
    for (const VDLStitch& s : stitches_) size += 2 + (s.isColorChange ? 4 : 0) + (s.isJumpStitch ? 2 : 0);
    std::vector<uint8_t> out(size);
    uint8_t* p = out.data();

    // Rounding down with the residual carried on keeps every written position within one
    // unit of the exact one.
    float rx = 0, ry = 0;
    for (const VDLStitch& s : stitches_) {
        if (s.isColorChange) {
            *p++ = kEscape;
            *p++ = 0x01;
            *p++ = 0x00;
            *p++ = 0x00;
        }
        if (s.isJumpStitch) {
            // Jumps are led in by 80 04. Our reader takes every even escape as a jump, but the
            // widely used converters read 80 02 as an ordinary stitch and would sew every jump
            // of our files as a long stitch.
            *p++ = kEscape;
            *p++ = 0x04;
        }
        *p++ = moveByte(s.deltaX, rx);
        *p++ = moveByte(s.deltaY, ry);
    }
    return out;
}

bool VDLDesign::exportExpDesignToURL(const VDLURL& url, VDLError* error) {
    const std::vector<uint8_t> bytes = exportExpDesignToData();
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) return false;
    // The colours a later read of this file will show, unless the side file keeps them.
    if (!useThreadFile_) {
        UndefinedThreads palette;
        for (size_t i = 0; i < threads_.size(); ++i) threads_[i] = palette.forIndex(i);
    }
    designType_ = "EXP";
    designVersion_ = 10;
    designHoop_.reset();
    return true;
}
