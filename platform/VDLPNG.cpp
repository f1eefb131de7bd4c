#include "VDLPNG.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace {

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    putBig32(out, uint32_t(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    putBig32(out, uint32_t(crc32(0L, out.data() + start, uInt(out.size() - start))));
}

// One part of the picture: rows FROM .. TO - 1 as PNG scanlines (filter byte "Sub", then RGBA),
// deflated raw; LAST ends the deflate stream, any other part ends on a byte boundary so that
// the next part's stream can follow it.
struct Part {
    std::vector<uint8_t> deflated;
    uLong adler = 1;
    size_t rawSize = 0;
    bool ok = false;
};

void encodePart(const uint8_t* data, int width, int stride, int from, int to, bool last, Part& part) {
    const size_t lineSize = 1 + size_t(width) * 4;
    std::vector<uint8_t> line(lineSize);
    std::vector<uint8_t> rgba(size_t(width) * 4);
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
    part.rawSize = lineSize * size_t(to - from);
    part.deflated.resize(deflateBound(&z, uLong(part.rawSize)) + 64);
    z.next_out = part.deflated.data();
    z.avail_out = uInt(part.deflated.size());
    bool ok = true;
    for (int y = from; y < to && ok; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            const uint32_t a = p >> 24;
            uint8_t* o = &rgba[size_t(x) * 4];
            if (a == 255) {
                o[0] = uint8_t(p >> 16), o[1] = uint8_t(p >> 8), o[2] = uint8_t(p), o[3] = 255;
            } else if (a == 0) {
                o[0] = o[1] = o[2] = o[3] = 0;
            } else {
                o[0] = uint8_t((((p >> 16) & 0xff) * 255 + a / 2) / a);
                o[1] = uint8_t((((p >> 8) & 0xff) * 255 + a / 2) / a);
                o[2] = uint8_t(((p & 0xff) * 255 + a / 2) / a);
                o[3] = uint8_t(a);
            }
        }
        line[0] = 1;  // Sub: each byte less the byte of the pixel to its left
        std::memcpy(&line[1], rgba.data(), 4);
        for (size_t i = 4; i < rgba.size(); ++i) line[1 + i] = uint8_t(rgba[i] - rgba[i - 4]);
        part.adler = adler32(part.adler, line.data(), uInt(lineSize));
        z.next_in = line.data();
        z.avail_in = uInt(lineSize);
        const int flush = y + 1 < to ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        const int st = deflate(&z, flush);
        ok = (st == Z_OK || st == Z_STREAM_END || st == Z_BUF_ERROR) && z.avail_in == 0;
    }
    if (ok && to == from && last) ok = deflate(&z, Z_FINISH) == Z_STREAM_END;
    part.deflated.resize(part.deflated.size() - z.avail_out);
    deflateEnd(&z);
    part.ok = ok;
}

}  // namespace

std::vector<uint8_t> VDLEncodePNG(const uint8_t* data, int width, int height, int stride) {
    if (!data || width <= 0 || height <= 0 || width > (1 << 24) || height > (1 << 24) || stride < width * 4) return {};
    try {
        const bool split = double(width) * height >= 512.0 * 512.0 && height >= 2 && std::thread::hardware_concurrency() > 1;
        const int middle = split ? height / 2 : height;
        Part first, second;
        std::thread helper;
        if (split) {
            try {
                helper = std::thread(encodePart, data, width, stride, middle, height, true, std::ref(second));
            } catch (...) {
                // No second thread: this one does both parts.
            }
        }
        encodePart(data, width, stride, 0, middle, !split, first);
        if (helper.joinable())
            helper.join();
        else if (split)
            encodePart(data, width, stride, middle, height, true, second);
        if (!first.ok || (split && !second.ok)) return {};

        std::vector<uint8_t> z;
        z.reserve(first.deflated.size() + second.deflated.size() + 6);
        z.push_back(0x78);  // deflate, 32K window
        z.push_back(0x01);  // quickest compression; the header's check bits make 0x7801 a multiple of 31
        z.insert(z.end(), first.deflated.begin(), first.deflated.end());
        uLong adler = first.adler;
        if (split) {
            z.insert(z.end(), second.deflated.begin(), second.deflated.end());
            adler = adler32_combine(adler, second.adler, z_off_t(second.rawSize));
        }
        putBig32(z, uint32_t(adler));

        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        png.reserve(z.size() + z.size() / 65536 * 12 + 64);
        uint8_t header[13];
        const uint32_t w = uint32_t(width), h = uint32_t(height);
        const uint8_t fixed[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                   uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                   8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, adaptive filters, no interlace
        std::memcpy(header, fixed, sizeof header);
        putChunk(png, "IHDR", header, sizeof header);
        constexpr size_t kChunk = 256 * 1024;
        for (size_t at = 0; at < z.size(); at += kChunk) putChunk(png, "IDAT", z.data() + at, std::min(kChunk, z.size() - at));
        putChunk(png, "IEND", nullptr, 0);
        return png;
    } catch (const std::bad_alloc&) {
        return {};
    }
}
