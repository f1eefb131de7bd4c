// DST (Tajima) reader and writer: a 512-byte text header followed by 3-byte records in
// balanced ternary. DST carries no colours: threads are the keys "1".."20" of "Undefined".
#include "VDLDesign.h"
#include "VDLUndefinedThreads.h"
#include "VDLFile.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

constexpr size_t kHeaderSize = 512;
constexpr size_t kAXOffset = 77;
constexpr size_t kAYOffset = 87;
constexpr int64_t kMaxExtent = 99999;

using UndefinedThreads = VDLUndefinedThreads;

// Move of one record along each axis; the bit table of the format, Y upwards.
struct Move {
    int dx;
    int dy;
};

constexpr std::array<Move, 256> makeTable(int scaleLow, int scaleHigh, bool thirdByte) {
    // For b0: bits 0..7 mean X+1, X-1, X+9, X-9, Y-9, Y+9, Y-1, Y+1 (scale 1 and 9).
    // For b1: the same with 3 and 27. For b2: only bits 2..5 carry X+81, X-81, Y-81, Y+81.
    std::array<Move, 256> t{};
    for (int b = 0; b < 256; ++b) {
        int dx = 0, dy = 0;
        if (!thirdByte) {
            if (b & 0x01) dx += scaleLow;
            if (b & 0x02) dx -= scaleLow;
            if (b & 0x80) dy += scaleLow;
            if (b & 0x40) dy -= scaleLow;
        }
        if (b & 0x04) dx += scaleHigh;
        if (b & 0x08) dx -= scaleHigh;
        if (b & 0x20) dy += scaleHigh;
        if (b & 0x10) dy -= scaleHigh;
        t[size_t(b)] = Move{dx, dy};
    }
    return t;
}

constexpr auto kByte0 = makeTable(1, 9, false);
constexpr auto kByte1 = makeTable(3, 27, false);
constexpr auto kByte2 = makeTable(0, 81, true);

bool headerHasTag(std::string_view head, const char* tag) { return head.find(tag) != std::string_view::npos; }

// The record bits of one axis for a move of −121..121, found greedily in balanced ternary:
// each power of three (81, 27, 9, 3, 1) is taken once when the rest is at least half of it.
struct AxisBits {
    uint8_t b0, b1, b2;
};

constexpr std::array<AxisBits, 243> makeAxisBits(bool yAxis) {
    struct Step {
        int value;
        int byte;
        uint8_t plusX, minusX, plusY, minusY;
    };
    constexpr Step steps[] = {
        {81, 2, 0x04, 0x08, 0x20, 0x10}, {27, 1, 0x04, 0x08, 0x20, 0x10}, {9, 0, 0x04, 0x08, 0x20, 0x10},
        {3, 1, 0x01, 0x02, 0x80, 0x40},  {1, 0, 0x01, 0x02, 0x80, 0x40},
    };
    std::array<AxisBits, 243> table{};
    for (int i = 0; i < 243; ++i) {
        int v = i - 121;
        uint8_t bytes[3] = {0, 0, 0};
        for (const Step& s : steps) {
            const int half = (s.value + 1) / 2;  // 41, 14, 5, 2, 1
            if (v >= half) {
                bytes[s.byte] |= yAxis ? s.plusY : s.plusX;
                v -= s.value;
            }
            if (v <= -half) {
                bytes[s.byte] |= yAxis ? s.minusY : s.minusX;
                v += s.value;
            }
        }
        table[size_t(i)] = AxisBits{bytes[0], bytes[1], bytes[2]};
    }
    return table;
}

constexpr auto kXBits = makeAxisBits(false);
constexpr auto kYBits = makeAxisBits(true);

// Encodes V (a whole number held in a float) into the record; moves beyond ±121 write ±121.
// Returns the part that could not be encoded (NaN stays NaN and sets no bits).
float encodeAxis(float v, const std::array<AxisBits, 243>& table, uint8_t* record) {
    if (std::isnan(v)) return v;
    const float encoded = std::clamp(v, -121.0f, 121.0f);
    const AxisBits& bits = table[size_t(int(encoded) + 121)];
    record[0] |= bits.b0;
    record[1] |= bits.b1;
    record[2] |= bits.b2;
    return v - encoded;
}

// "+X:" style field: value right-aligned in WIDTH places.
void appendNumberField(std::string& out, const char* tag, int64_t value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%*lld\r", tag, width, static_cast<long long>(value));
    out += buf;
}

// Signed 6-character field: sign first, then the digits right-aligned in 5 places.
std::string signedField(float sum) {
    const auto v = static_cast<int64_t>(sum);  // truncation toward zero; caller checked the range
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%5lld", v < 0 ? '-' : '+', static_cast<long long>(v < 0 ? -v : v));
    return buf;
}

// One character of ASCII for each character of the UTF-8 name: accented Latin letters lose
// their accent, everything else outside printable ASCII becomes '?'.
std::string asciiLabel(const std::string& utf8) {
    static constexpr char latin1Base[] =
        "AAAAAA?CEEEEIIII"   // U+00C0..U+00CF
        "DNOOOOO?OUUUUY??"   // U+00D0..U+00DF
        "aaaaaa?ceeeeiiii"   // U+00E0..U+00EF
        "dnooooo?ouuuuy?y";  // U+00F0..U+00FF
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, len = 4;
        } else {
            cp = 0xFFFD;  // stray continuation or invalid lead byte
        }
        if (len > 1) {
            if (i + len > utf8.size()) {
                len = 1, cp = 0xFFFD;
            } else {
                for (size_t k = 1; k < len; ++k) {
                    const auto cc = static_cast<unsigned char>(utf8[i + k]);
                    if ((cc & 0xC0) != 0x80) {
                        len = 1, cp = 0xFFFD;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
        }
        i += len;
        if (cp >= 0x20 && cp < 0x7F)
            out += char(cp);
        else if (cp >= 0xC0 && cp <= 0xFF)
            out += latin1Base[cp - 0xC0];
        else
            out += '?';  // control characters would break the header's lines
    }
    return out;
}

std::string labelForName(const std::string& designName) {
    std::string base = designName;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    std::string label = asciiLabel(base) + std::string(16, ' ');
    label.resize(16);
    return label;
}

// Builds the whole file, or fails with the writer's error code without touching the design.
bool encodeDst(const VDLDesign& d, std::vector<uint8_t>& out, VDLError* error) {
    const int64_t records = int64_t(d.stitches().size());
    const int64_t threads = d.numberOfThreads();
    // numberOfStitches + numberOfThreads = records + 1 for any design.
    if (records + 1 >= 9999999) return VDLDesignError(error, 133, "Unable to export DST file (too many stitches).");
    if (threads - 1 >= 1000) return VDLDesignError(error, 134, "Unable to export DST file (too many color changes).");
    // Written as negated tests so that a NaN bound is refused as well.
    const float xMin = d.xMin(), xMax = d.xMax(), yMin = d.yMin(), yMax = d.yMax();
    if (!(xMax >= 0 && xMin <= 0 && yMax >= 0 && yMin <= 0 && xMax <= kMaxExtent && xMin >= -kMaxExtent &&
          yMax <= kMaxExtent && yMin >= -kMaxExtent))
        return VDLDesignError(error, 130, "Unable to export DST file (invalid bounderies).");

    std::string header;
    header.reserve(kHeaderSize);
    header += "LA:" + labelForName(d.designName()) + "\r";
    appendNumberField(header, "ST:", records + 2, 7);
    appendNumberField(header, "CO:", threads > 0 ? threads - 1 : 0, 3);
    appendNumberField(header, "+X:", static_cast<int64_t>(xMax), 5);
    appendNumberField(header, "-X:", static_cast<int64_t>(-xMin), 5);
    appendNumberField(header, "+Y:", static_cast<int64_t>(yMax), 5);
    appendNumberField(header, "-Y:", static_cast<int64_t>(-yMin), 5);
    header += "AX:+    0\rAY:+    0\r";  // filled in once the sums are known
    header += "MX:+    0\rMY:+    0\rPD:******\r\x1A";
    header.append(kHeaderSize - header.size(), ' ');

    std::vector<uint8_t> bytes(kHeaderSize + 3 * size_t(records) + 4);
    std::copy(header.begin(), header.end(), bytes.begin());

    // Each record writes its move rounded down together with the carry of the records before
    // it; the fraction and anything beyond ±121 move on, so written positions never drift.
    float cX = 0, cY = 0, sX = 0, sY = 0;
    uint8_t* record = bytes.data() + kHeaderSize;
    for (const VDLStitch& s : d.stitches()) {
        record[0] = 0;
        record[1] = 0;
        record[2] = s.isColorChange ? 0xC3 : s.isJumpStitch ? 0x83 : 0x03;
        const float fx = std::floor(s.deltaX + cX);
        cX = cX + s.deltaX - fx + encodeAxis(fx, kXBits, record);
        const float fy = std::floor(s.deltaY + cY);
        cY = cY + s.deltaY - fy + encodeAxis(fy, kYBits, record);
        sX += s.deltaX;
        sY += s.deltaY;
        record += 3;
    }
    record[0] = 0x00;
    record[1] = 0x00;
    record[2] = 0xF3;
    record[3] = 0x1A;

    if (!(sX >= -kMaxExtent && sX <= kMaxExtent && sY >= -kMaxExtent && sY <= kMaxExtent))
        return VDLDesignError(error, 132, "Unable to export DST file (AX/AY values too large).");
    const std::string ax = signedField(sX), ay = signedField(sY);
    std::copy(ax.begin(), ax.end(), bytes.begin() + kAXOffset);
    std::copy(ay.begin(), ay.end(), bytes.begin() + kAYOffset);
    out = std::move(bytes);
    return true;
}

}  // namespace

bool VDLDesign::importDstDesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "DST";
    designVersion_ = 10;
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, nullptr))
        return VDLDesignError(error, 123, "Unable to import DST file (missing header).");
    return importDstDesignFromData(bytes, error);
}

bool VDLDesign::importDstDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "DST";
    designVersion_ = 10;
    if (data.size() <= 515) return VDLDesignError(error, 123, "Unable to import DST file (missing header).");

    // Only the presence of the tags is checked; their values play no part.
    const std::string_view head(reinterpret_cast<const char*>(data.data()), 511);
    static constexpr struct {
        const char* tag;
        int code;
        const char* text;
    } tags[] = {
        {"LA:", 110, "Unable to import DST file (missing LA: tag in header)."},
        {"ST:", 112, "Unable to import DST file (missing ST: tag in header)."},
        {"CO:", 113, "Unable to import DST file (missing CO: tag in header)."},
        {"+X:", 114, "Unable to import DST file (missing +X: tag in header)."},
        {"-X:", 115, "Unable to import DST file (missing -X: tag in header)."},
        {"+Y:", 116, "Unable to import DST file (missing +Y: tag in header)."},
        {"-Y:", 117, "Unable to import DST file (missing -Y: tag in header)."},
        {"AX:", 118, "Unable to import DST file (missing AX: tag in header)."},
        {"AY:", 119, "Unable to import DST file (missing AY: tag in header)."},
    };
    // Some tools fill the whole header with zero bytes: a design without label whose records
    // follow as usual. Any other header must carry every tag.
    const auto header = data.first(kHeaderSize);
    if (std::all_of(header.begin(), header.end(), [](uint8_t b) { return b == 0; })) {
        std::fprintf(stderr, "VDLDesign:importDstDesign: the header holds only zero bytes: read without label\n");
    } else {
        for (const auto& t : tags)
            if (!headerHasTag(head, t.tag)) return VDLDesignError(error, t.code, t.text);
    }

    resetBoundsForReading();
    UndefinedThreads palette;
    threads_.push_back(palette.forIndex(0));

    // Every complete record is read, the last one too: files without an end record end in an
    // ordinary stitch, and where the last three bytes are the end record reading stops there
    // as it would anyway.
    const size_t size = data.size();
    stitches_.reserve(stitches_.size() + (size - kHeaderSize) / 3);
    VDLAdviseLargeBuffer(stitches_.data(), stitches_.capacity() * sizeof(VDLStitch));
    float x = 0, y = 0;
    for (size_t p = kHeaderSize; p + 3 <= size; p += 3) {
        const uint8_t b0 = data[p], b1 = data[p + 1], b2 = data[p + 2];
        if (b2 == 0xF3) return true;
        bool isJump = false, isChange = false;
        switch (b2 & 0xC3) {
            case 0x03:
                break;
            case 0x83:
                isJump = true;
                break;
            case 0xC3:
                isChange = true;
                threads_.push_back(palette.forIndex(threads_.size()));
                break;
            default:
                return VDLDesignError(error, 111, "Unable to import DST file (invalid function codes).");
        }
        const int dx = kByte0[b0].dx + kByte1[b1].dx + kByte2[b2].dx;
        const int dy = kByte0[b0].dy + kByte1[b1].dy + kByte2[b2].dy;
        stitches_.push_back(VDLStitch::initWithData(float(dx), float(dy), isJump, isChange));
        x += float(dx);
        y += float(dy);
        if (x < xMin_) xMin_ = x;
        if (x > xMax_) xMax_ = x;
        if (y < yMin_) yMin_ = y;
        if (y > yMax_) yMax_ = y;
    }
    return true;
}

std::vector<uint8_t> VDLDesign::exportDstDesignToData() {
    std::vector<uint8_t> bytes;
    if (!encodeDst(*this, bytes, nullptr)) return {};
    return bytes;
}

bool VDLDesign::exportDstDesignToURL(const VDLURL& url, VDLError* error) {
    std::vector<uint8_t> bytes;
    if (!encodeDst(*this, bytes, error)) return false;
    if (!VDLWriteFileAtomically(url.path(), bytes, error)) return false;
    // The colours a later read of this file will show, unless the side file keeps them.
    if (!useThreadFile_) {
        UndefinedThreads palette;
        for (size_t i = 0; i < threads_.size(); ++i) threads_[i] = palette.forIndex(i);
    }
    designType_ = "DST";
    designVersion_ = 10;
    designHoop_.reset();
    return true;
}
