// JEF (Janome) reader and writer. A fixed 116-byte header (stitch offset, version, date, thread
// count, record count, hoop code, extents) is followed by one Janome chart index and one
// tension per thread, then the stitch stream. JEF stores Y growing upward, like the model.
#include "VDLDesign.h"
#include "VDLBytes.h"
#include "VDLFile.h"
#include "VDLJanomeStream.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <ctime>

namespace {

constexpr int64_t kHeaderSize = 116;
constexpr int64_t kMinimumSize = 52;
constexpr int32_t kWrittenVersion = 10;

// How the file name asked for the file to be read: "jef", "jef+" or anything else.
enum class JefFlavour { Jef, JefPlus, Other };

int32_t readI32(std::span<const uint8_t> data, size_t offset) {
    VDLByteReader r(data);
    int32_t v = 0;
    if (!r.seek(int64_t(offset)) || !r.i32le(v)) return 0;
    return v;
}

bool readJef(VDLDesign& design, std::span<const uint8_t> data, JefFlavour flavour, VDLError* error) {
    if (int64_t(data.size()) < kMinimumSize)
        return VDLDesignError(error, 20, "Unable to import JEF file (no meta data).");

    const int64_t size = int64_t(data.size());
    const int64_t n = readI32(data, 24);
    const int8_t versionByte = int8_t(data[4]);
    switch (flavour) {
        case JefFlavour::Jef:
            design.setDesignType("JEF");
            design.setDesignVersion(versionByte);
            break;
        case JefFlavour::JefPlus:
            design.setDesignType("JEF+");
            design.setDesignVersion(10 * int32_t(versionByte));
            break;
        case JefFlavour::Other:
            design.setDesignType("?");
            design.setDesignVersion(0);
            break;
    }
    design.setHoopFromVendor("Janome", readI32(data, 32));

    // A negative count is a colour table that cannot exist.
    if (n < 0 || size < 120 + 4 * n) return VDLDesignError(error, 21, "Unable to import JEF file (no color codes).");
    const int64_t offset = readI32(data, 0);
    if (offset < 0 || size < offset + 4) return VDLDesignError(error, 23, "Unable to import JEF file (invalid offset).");
    // The colour indices fit, but the tension list behind them must fit as well.
    if (size < kHeaderSize + 8 * n) return VDLDesignError(error, 21, "Unable to import JEF file (no color codes).");

    auto& threads = design.threads();
    const size_t firstThread = threads.size();
    threads.reserve(firstThread + size_t(n));
    for (int64_t i = 0; i < n; ++i) design.appendThreadForColorIndex(readI32(data, size_t(kHeaderSize + 4 * i)), "Janome");
    for (int64_t i = 0; i < n; ++i)
        threads[firstThread + size_t(i)].setTension(readI32(data, size_t(kHeaderSize + 4 * n + 4 * i)));

    design.resetBoundsForReading();
    const int64_t changes = VDLDecodeJanomeStitchStream(design, data, size_t(offset));

    // Every colour block needs a thread: missing ones are copies of the last thread in a neutral
    // grey-green of the design's palette. Every copy comes out the same (same source colour,
    // same palette), so it is made once.
    const int64_t wanted = changes + 1;
    if (threads.empty()) return VDLDesignError(error, 24, "Unable to import JEF file (color changes).");
    if (int64_t(threads.size()) < wanted) {
        VDLThread extra = threads.back();
        extra.changeToColor(VDLColor(0.5, 0.6, 0.6), design.designPalette());
        threads.resize(size_t(wanted), extra);
    }
    if (int64_t(threads.size()) != wanted) return VDLDesignError(error, 24, "Unable to import JEF file (color changes).");
    return true;
}

// |v| truncated toward zero, kept inside int32 (a design never comes near the limit, but
// an unset bound is the largest float).
int32_t absoluteExtent(float v) {
    const double a = std::fabs(double(v));
    if (!(a < double(INT32_MAX))) return std::isnan(a) ? 0 : INT32_MAX;
    return int32_t(a);
}

std::string currentDateStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    if (std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local) != 14) return std::string(14, '0');
    return text;
}

// One whole-unit move of the error-diffusion pass, kept inside what int64 can hold.
int64_t wholeUnits(float v) {
    if (!std::isfinite(v)) return 0;
    return int64_t(std::clamp(double(v), -2147483648.0, 2147483647.0));
}

}  // namespace

int64_t VDLDecodeJanomeStitchStream(VDLDesign& design, std::span<const uint8_t> data, size_t offset,
                                    VDLJanomeStream kind) {
    const bool sew = kind == VDLJanomeStream::Sew;
    auto& out = design.stitches();
    const size_t size = data.size();
    if (offset < size) out.reserve(out.size() + (size - offset) / 2);
    float xMin = design.xMin(), yMin = design.yMin(), xMax = design.xMax(), yMax = design.yMax();
    float x = 0, y = 0;
    int64_t changes = 0;
    size_t pos = offset;
    while (pos + 1 < size) {
        const uint8_t b0 = data[pos];
        float dx = 0, dy = 0;
        bool jump = false, change = false;
        if (b0 == 0x80) {
            if (pos + 4 > size) break;
            const uint8_t b1 = data[pos + 1];
            if (sew && b1 == 0x01) {
                change = true;  // the two bytes after it are not a move
                ++changes;
                pos += 4;
            } else if (b1 == 0x01 || b1 == 0x02 || (b1 == 0x04 && !sew)) {
                dx = float(int8_t(data[pos + 2]));
                dy = float(int8_t(data[pos + 3]));
                change = b1 == 0x01;
                jump = !change;
                if (change) ++changes;
                pos += 4;
            } else if (b1 == 0x10) {
                break;
            } else {
                pos += 2;  // unknown command: a stitch that does not move
            }
        } else {
            dx = float(int8_t(b0));
            dy = float(int8_t(data[pos + 1]));
            pos += 2;
        }
        out.emplace_back(dx, dy, jump, change);
        x += dx;
        y += dy;
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
    }
    design.setXMin(xMin);
    design.setYMin(yMin);
    design.setXMax(xMax);
    design.setYMax(yMax);
    return changes;
}

bool VDLDesign::importJefDesignFromURL(const VDLURL& url, VDLError* error) {
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    std::string extension = url.pathExtension();
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    const JefFlavour flavour = extension == "jef"    ? JefFlavour::Jef
                               : extension == "jef+" ? JefFlavour::JefPlus
                                                     : JefFlavour::Other;
    return readJef(*this, bytes, flavour, error);
}

bool VDLDesign::importJefDesignFromData(std::span<const uint8_t> data, bool jefPlus, VDLError* error) {
    return readJef(*this, data, jefPlus ? JefFlavour::JefPlus : JefFlavour::Jef, error);
}

std::vector<uint8_t> VDLDesign::exportJefDesignToData() {
    const size_t n = threads_.size();
    VDLByteWriter w;
    w.reserve(size_t(kHeaderSize) + 8 * n + 4 * stitches_.size() + 2);
    w.i32le(int32_t(std::min<size_t>(size_t(kHeaderSize) + 8 * n, INT32_MAX)));
    w.i32le(kWrittenVersion);
    w.ascii(currentDateStamp());
    w.fill(0, 2);
    w.i32le(int32_t(std::min<size_t>(n, INT32_MAX)));
    const size_t recordCountAt = w.size();
    w.i32le(0);
    w.i32le(hoopCode());
    w.i32le(absoluteExtent(xMin_));
    w.i32le(absoluteExtent(yMin_));
    w.i32le(absoluteExtent(xMax_));
    w.i32le(absoluteExtent(yMax_));
    w.fill(0, 64);
    for (size_t t = 0; t < n; ++t) w.i32le(colorIndexForThread(int32_t(t), "Janome"));
    for (size_t t = 0; t < n; ++t) w.i32le(threads_[t].tension());

    // Whole units with the rounding remainder carried to the next record, so absolute
    // positions never drift by more than one unit.
    float rx = 0, ry = 0;
    int64_t records = 0;
    auto move = [&](int64_t x, int64_t y) {
        w.u8(uint8_t(int8_t(x)));
        w.u8(uint8_t(int8_t(y)));
        ++records;
    };
    for (const VDLStitch& s : stitches_) {
        const float dX = std::isfinite(s.deltaX) ? s.deltaX : 0.0f;
        const float dY = std::isfinite(s.deltaY) ? s.deltaY : 0.0f;
        const float fx = std::floor(dX + rx);
        const float fy = std::floor(dY + ry);
        rx = rx + dX - fx;
        ry = ry + dY - fy;
        int64_t x = wholeUnits(fx);
        int64_t y = wholeUnits(fy);
        // The export normalisation keeps moves within a signed byte. Anything larger (a design
        // written without it) goes out as extra jumps first: -128 would read back as a command
        // and larger values would wrap.
        while (x < -127 || x > 127 || y < -127 || y > 127) {
            const int64_t sx = std::clamp<int64_t>(x, -127, 127);
            const int64_t sy = std::clamp<int64_t>(y, -127, 127);
            w.u8(0x80);
            w.u8(0x02);
            ++records;
            move(sx, sy);
            x -= sx;
            y -= sy;
        }
        if (s.isColorChange) {
            w.u8(0x80);
            w.u8(0x01);
            ++records;
            if (s.isJumpStitch) {
                // The change itself stays put; the jump that follows carries the move.
                w.u8(0x00);
                w.u8(0x00);
                ++records;
            }
        }
        if (s.isJumpStitch) {
            w.u8(0x80);
            w.u8(0x02);
            ++records;
        }
        move(x, y);
    }
    w.u8(0x80);
    w.u8(0x10);
    w.putU32le(recordCountAt, uint32_t(std::min<int64_t>(records + 1, INT32_MAX)));
    return w.take();
}

bool VDLDesign::exportJefDesignToURL(const VDLURL& url, VDLError* error) {
    const std::optional<VDLHoop> keptHoop = designHoop_;
    if (!checkHoopForVendor("Janome", "Design exceeds the current hoop size.",
                            "Unable to export JEF file (unsupported hoop).", error))
        return false;
    // Writing converts the threads to the Janome chart; a write that fails changes nothing.
    const std::vector<VDLThread> keptThreads = threads_;
    const std::vector<uint8_t> bytes = exportJefDesignToData();
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) {
        designHoop_ = keptHoop;
        threads_ = keptThreads;
        return false;
    }
    designType_ = "JEF";
    designVersion_ = kWrittenVersion;
    return true;
}
