// The PEC block: the part of Brother files the machines sew. A label and the list of thread
// colour indices, the stitch stream, then the 48 x 38 monochrome thumbnails. Offsets in this
// unit are "block offsets", counted from the "L" of the "LA:" label; the readers receive the
// data after that label, so data index = block offset - 3.
//
// PEC stores Y growing downward; the model's Y grows upward, so every Y is negated.
#include "VDLBytes.h"
#include "VDLDesign.h"
#include "VDLRasterRenderer.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

namespace {

constexpr size_t kLabelLength = 19;
constexpr size_t kHeaderLength = 512;    // label, thumbnail size, colour list, padding
constexpr size_t kColorListOffset = 49;  // first colour index byte
// The colour list must end before block offset 512, or the stitch header would move.
constexpr size_t kMaxColorIndices = kHeaderLength - kColorListOffset;
constexpr size_t kGraphicsOffsetAt = 514;
constexpr size_t kWidthAt = 520;
constexpr size_t kHeightAt = 522;
constexpr size_t kStartPositionAt = 528;
constexpr size_t kLabelSkip = 3;  // "LA:"

constexpr int kThumbWidthBytes = 6;
constexpr int kThumbWidth = 48;
constexpr int kThumbHeight = 38;
constexpr size_t kThumbLength = size_t(kThumbWidthBytes) * kThumbHeight;  // 228

// A 12-bit two's-complement value of a long-form coordinate; flag bits are ignored.
int32_t longFormValue(uint8_t h, uint8_t l) {
    int32_t v = (int32_t(h & 0x0F) << 8) | l;
    if (v & 0x800) v -= 0x1000;
    return v;
}

int32_t shortFormValue(uint8_t b) { return b < 0x40 ? int32_t(b) : int32_t(b) - 0x80; }

// Long-form coordinates other than these two first bytes mark a jump (0x80 and 0x8F are the
// flagless positive and negative forms).
bool longFormIsFlagless(uint8_t h) { return h == 0x80 || h == 0x8F; }

// A float already rounded to an integer, as int32 without undefined behaviour for values that
// are out of range or not numbers (such values only come from designs that skipped the
// normalisation pass; they are written wrapped, never crash).
int32_t wholeToInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return int32_t(v);
}

void putLongForm(VDLByteWriter& w, int32_t v, uint8_t flags) {
    w.u8(uint8_t(flags | ((v >> 8) & 0x0F)));
    w.u8(uint8_t(v & 0xFF));
}

void putShortForm(VDLByteWriter& w, int32_t v) {
    // Masked to seven bits so that a value out of range can never look like a long form or
    // an end marker and break the stream's structure.
    w.u8(uint8_t((v >= 0 ? v : v + 0x80) & 0x7F));
}

// The design name without its extension ("rose.pes" -> "rose").
std::string nameWithoutExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash + 2)) return name;
    return name.substr(0, dot);
}

// The fixed rounded frame around the picture, and the bits that frame rows 3..34 add.
constexpr uint8_t kFrameEmpty[kThumbWidthBytes] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kFrameEdge[kThumbWidthBytes] = {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F};
constexpr uint8_t kFrameCorner[kThumbWidthBytes] = {0x08, 0x00, 0x00, 0x00, 0x00, 0x10};


}  // namespace

// ---- Reading ------------------------------------------------------------------------------

bool VDLDesign::importPecSegmentFromData(std::span<const uint8_t> data, VDLError* error) {
    if (data.size() < kStartPositionAt + 1)
        return VDLDesignError(error, 190, "Unable to import PEC segment (segment too small for attributes).");

    const size_t stitchesBefore = stitches_.size();
    int32_t blocks = importPecStichesFromData(data, int64_t(kStartPositionAt - kLabelSkip), nullptr);
    if (blocks == 0) {
        // Some files put the start position one byte later.
        stitches_.resize(stitchesBefore);
        resetBoundsForReading();
        blocks = importPecStichesFromData(data, int64_t(kStartPositionAt + 1 - kLabelSkip), error);
        if (blocks == 0) return false;
    }

    threads_.reserve(threads_.size() + size_t(blocks));
    for (int32_t i = 0; i < blocks; ++i) {
        const size_t at = kColorListOffset + size_t(i) - kLabelSkip;
        // Indices beyond the data read as the fallback thread.
        const int32_t index = at < data.size() ? int32_t(data[at]) : -1;
        appendThreadForColorIndex(index, "Brother");
    }
    return true;
}

int32_t VDLDesign::importPecStichesFromData(std::span<const uint8_t> data, int64_t offset, VDLError* error) {
    auto notTerminated = [&] {
        VDLDesignError(error, 192, "Unable to import PEC segment (stitches not terminated).");
        return 0;
    };
    if (data.size() < kStartPositionAt + 1 - kLabelSkip) {
        VDLDesignError(error, 190, "Unable to import PEC segment (segment too small for attributes).");
        return 0;
    }

    VDLByteReader r(data);
    uint8_t g0 = 0, g1 = 0, g2 = 0;
    int16_t width = 0, height = 0;
    r.seek(int64_t(kGraphicsOffsetAt - kLabelSkip));
    r.u8(g0), r.u8(g1), r.u8(g2);
    r.seek(int64_t(kWidthAt - kLabelSkip));
    r.i16le(width);
    r.seek(int64_t(kHeightAt - kLabelSkip));
    r.i16le(height);
    // Graphics offset, counted from block offset 512: the stitch stream ends there.
    const uint64_t end = uint64_t(g0 | (g1 << 8) | (g2 << 16)) + kHeaderLength;

    // A blank design (as Brother software saves one) ends its stream at once: the end marker
    // stands before the start position would be complete, right before the thumbnails. That
    // is a design without stitches, one colour block, not a broken stream.
    const uint64_t streamStart = uint64_t(offset) + kLabelSkip;  // block offset of the start position
    if (end <= streamStart + 4 && end - kLabelSkip - 1 < data.size() && data[size_t(end - kLabelSkip - 1)] == 0xFF)
        return 1;

    uint8_t x0h = 0, x0l = 0, y0h = 0, y0l = 0;
    if (!r.seek(offset) || !r.u8(x0h) || !r.u8(x0l) || !r.u8(y0h) || !r.u8(y0l)) return notTerminated();

    float x = 0, y = 0;
    auto widen = [&] {
        if (x < xMin_) xMin_ = x;
        if (x > xMax_) xMax_ = x;
        if (y < yMin_) yMin_ = y;
        if (y > yMax_) yMax_ = y;
    };
    // The start position is the centre of the design: the first record is the jump from
    // the design origin to it.
    const float startX = float(longFormValue(x0h, x0l)) - float(width * 0.5);
    const float startY = float(height * 0.5) - float(longFormValue(y0h, y0l));
    stitches_.emplace_back(startX, startY, true, false);
    x += startX;
    y += startY;
    widen();

    if (uint64_t(data.size()) + kLabelSkip < end) {
        VDLDesignError(error, 191, "Unable to import PEC segment (segment too small for bitmap pointer).");
        return 0;
    }
    const size_t endIndex = size_t(end - kLabelSkip);  // <= data.size()
    const uint8_t* p = data.data();
    const size_t size = data.size();
    size_t pos = r.position();
    // Every record has at least two bytes, so the stream holds at most half its length.
    stitches_.reserve(stitches_.size() + (endIndex > pos ? (endIndex - pos) / 2 : 0));

    int32_t blocks = 1;
    bool terminated = false;
    while (pos < endIndex) {
        const uint8_t b1 = p[pos];
        if (b1 == 0xFF) {
            terminated = true;
            break;
        }
        if (b1 == 0xFE && pos + 1 < size && p[pos + 1] == 0xB0) {
            // Colour change; its third byte is skipped whatever it holds.
            if (pos + 3 > size) return notTerminated();
            ++blocks;
            stitches_.emplace_back(0.0f, 0.0f, false, true);
            pos += 3;
            continue;
        }
        int32_t dx;
        bool jump;
        if (b1 < 0x80) {
            dx = shortFormValue(b1);
            jump = false;
            pos += 1;
        } else {
            if (pos + 2 > size) return notTerminated();
            dx = longFormValue(b1, p[pos + 1]);
            jump = !longFormIsFlagless(b1);
            pos += 2;
        }
        if (pos >= size) return notTerminated();
        const uint8_t c1 = p[pos];
        int32_t dy;
        if (c1 < 0x80) {
            dy = shortFormValue(c1);
            jump = false;  // a short Y makes an ordinary stitch whatever X said
            pos += 1;
        } else {
            if (pos + 2 > size) return notTerminated();
            dy = longFormValue(c1, p[pos + 1]);
            jump = jump && !longFormIsFlagless(c1);
            pos += 2;
        }
        const float fx = float(dx), fy = -float(dy);
        stitches_.emplace_back(fx, fy, jump, false);
        x += fx;
        y += fy;
        widen();
    }
    if (!terminated) return notTerminated();
    return blocks;
}

// ---- Writing ------------------------------------------------------------------------------

std::vector<uint8_t> VDLDesign::exportPecSegmentToData() {
    VDLByteWriter w;
    w.reserve(kStartPositionAt + 4 + stitches_.size() * 4 + 1);

    // Label: "LA:" and the name, padded with spaces and cut to 19 characters (one byte each).
    std::string label = VDLUTF8ToLatin1("LA:" + nameWithoutExtension(designName_));
    label.resize(kLabelLength, ' ');
    w.ascii(label);
    w.u8(0x0D);
    w.fill(' ', 12);
    const uint8_t thumbnailSize[4] = {0xFF, 0x00, 0x06, 0x26};  // 6 bytes (48 pixels) x 38 rows
    w.bytes(thumbnailSize, 4);
    w.fill(' ', 12);

    // Thread count and the Brother index of every thread (this converts the threads to the
    // Brother chart unless the thread side file keeps their colours). Only as many indices as
    // fit before block offset 512 are stored.
    const size_t threadCount = threads_.size();
    w.u8(uint8_t(threadCount - 1));
    for (size_t t = 0; t < threadCount; ++t) {
        const int32_t index = colorIndexForThread(int32_t(t), "Brother");
        if (t < kMaxColorIndices) w.u8(uint8_t(index));
    }
    if (w.size() < kHeaderLength) w.fill(' ', kHeaderLength - w.size());

    const int32_t width = designWidth();
    const int32_t height = designHeight();
    w.u8(0x00);
    w.u8(0x00);
    w.fill(0x00, 3);  // graphics offset, set at the end
    const uint8_t marker[3] = {0x31, 0xFF, 0xF0};
    w.bytes(marker, 3);
    w.i16le(int16_t(width));
    w.i16le(int16_t(height));
    const uint8_t constants[4] = {0xE0, 0x01, 0xB0, 0x01};
    w.bytes(constants, 4);
    // Start position: the centre of the design.
    putLongForm(w, width / 2, 0x90);
    putLongForm(w, height / 2, 0x90);

    // Deltas are quantised to whole units; the rounding remainder is carried to the next
    // record so that absolute positions do not drift.
    float rx = 0, ry = 0;
    uint8_t changeByte = 2;
    for (const VDLStitch& s : stitches_) {
        if (s.isColorChange) {
            w.u8(0xFE);
            w.u8(0xB0);
            w.u8(changeByte);
            changeByte = changeByte == 2 ? 1 : 2;
            continue;
        }
        const float xf = std::floor(s.deltaX + rx);
        rx = rx + s.deltaX - xf;
        const float yf = std::floor(ry - s.deltaY);
        ry = ry - s.deltaY - yf;
        const int32_t xv = wholeToInt(xf), yv = wholeToInt(yf);
        if (s.isJumpStitch) {
            putLongForm(w, xv, 0x90);
            putLongForm(w, yv, 0x90);
        } else {
            putShortForm(w, xv);
            putShortForm(w, yv);
        }
    }
    w.u8(0xFF);

    const size_t graphicsOffset = w.size() - kHeaderLength;
    w.data()[kGraphicsOffsetAt] = uint8_t(graphicsOffset);
    w.data()[kGraphicsOffsetAt + 1] = uint8_t(graphicsOffset >> 8);
    w.data()[kGraphicsOffsetAt + 2] = uint8_t(graphicsOffset >> 16);
    return w.take();
}

// ---- Thumbnail ----------------------------------------------------------------------------

std::vector<uint8_t> VDLDesign::exportPecBitmapToDataForThread(int32_t thread) {
    std::vector<uint8_t> out;
    out.reserve(kThumbLength);
    auto frameRow = [&](const uint8_t* row) { out.insert(out.end(), row, row + kThumbWidthBytes); };
    frameRow(kFrameEmpty);
    frameRow(kFrameEdge);
    frameRow(kFrameCorner);

    // The design at one pixel per 0.1 mm with a margin of 1 mm on every side, scaled to 42
    // pixels wide, or to 32 rows high when that is the tighter limit, centred in the 48 x 38
    // bitmap. The design is drawn straight at that scale: one walk over the stitches, no
    // intermediate picture of the whole design.
    const double W = double(designWidth()) + 20.0;
    const double H = double(designHeight()) + 20.0;
    const double originX = double(xMin_) - 10.0;
    const double originY = double(yMin_) - 10.0;

    // The picture area of the small bitmap; stays transparent when there is nothing to draw.
    std::array<uint32_t, size_t(kThumbWidth) * kThumbHeight> pixels{};
    const bool canDraw = W >= 1.0 && H >= 1.0 && std::isfinite(W) && std::isfinite(H) && std::isfinite(originX) &&
                         std::isfinite(originY);
    if (canDraw) {
        const float s = float(42.0 / W);
        float w2 = s * float(W);
        float h2 = s * float(H);
        if (h2 > 32.0f) {
            const float f = 32.0f / h2;
            w2 *= f;
            h2 *= f;
        }
        // Image rows run top to bottom, the design's Y upward: the top of the design is the top
        // row of the picture.
        VDLImageTransform t;
        t.sx = double(w2) / W;
        t.sy = -double(h2) / H;
        t.tx = (48.0 - double(w2)) / 2.0 - originX * t.sx;
        t.ty = (38.0 - double(h2)) / 2.0 + double(h2) + originY * double(h2) / H;
        VDLRasterOptions options;
        options.thread = thread;
        options.threads = 1;
        // The thumbnail shows the whole design, whatever part the stitch player shows now.
        const VDLRange shown = displayRange_;
        displayRange_ = VDLRange{0, uint64_t(stitches_.size())};
        VDLDrawDesignIntoImage(*this, VDLMakeRect(originX, originY, W, H),
                               VDLImageBuffer{reinterpret_cast<uint8_t*>(pixels.data()), kThumbWidth, kThumbHeight,
                                              kThumbWidth * 4},
                               t, options);
        displayRange_ = shown;
    }

    auto argb = [&](int c, int r) -> uint32_t { return pixels[size_t(r) * kThumbWidth + size_t(c)]; };
    auto alpha = [&](int c, int r) { return argb(c, r) >> 24; };

    for (int r = 3; r <= 34; ++r) {
        uint8_t row[kThumbWidthBytes] = {};
        auto set = [&](int c) { row[c / 8] = uint8_t(row[c / 8] | (1u << (c % 8))); };
        const bool cornerRow = r == 3 || r == 34;
        set(cornerRow ? 2 : 1);
        set(cornerRow ? 45 : 46);
        for (int c = 3; c <= 44; ++c) {
            const uint32_t px = argb(c, r);
            if ((px >> 24) == 0) continue;
            bool outline = false;
            for (int dr = -1; dr <= 1 && !outline; ++dr)
                for (int dc = -1; dc <= 1; ++dc)
                    if ((dr || dc) && alpha(c + dc, r + dr) == 0) {
                        outline = true;
                        break;
                    }
            // Premultiplied components: dark interior pixels are drawn, light ones left blank.
            const uint32_t red = (px >> 16) & 0xFF, green = (px >> 8) & 0xFF, blue = px & 0xFF;
            if (outline || std::max({red, green, blue}) <= 0xB3) set(c);
        }
        frameRow(row);
    }

    frameRow(kFrameCorner);
    frameRow(kFrameEdge);
    frameRow(kFrameEmpty);
    return out;
}
