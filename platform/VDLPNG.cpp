#include "VDLPNG.h"

#include "VDLFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
    std::unique_ptr<uint8_t[]> deflated;  // not cleared first: the compressor writes every byte used
    size_t size = 0;
    uLong adler = 1;
    size_t rawSize = 0;
    bool ok = false;
};

// A compressor kept by each thread from one picture to the next: a collection's thousands of
// thumbnails then cost one set-up of its tables per thread instead of one each.
class Deflater {
public:
    ~Deflater() {
        if (ready_) deflateEnd(&z_);
    }
    // The stream, reset for a new picture; nullptr when zlib has no memory for it.
    z_stream* stream() {
        if (ready_) {
            if (deflateReset(&z_) == Z_OK) return &z_;
            deflateEnd(&z_);
            ready_ = false;
        }
        z_ = z_stream{};
        // Runs only (of the filtered bytes, mostly zeros where a colour goes on): several times
        // quicker than searching for matches, and drawings compress nearly as well.
        if (deflateInit2(&z_, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) return nullptr;
        ready_ = true;
        return &z_;
    }

private:
    z_stream z_{};
    bool ready_ = false;
};

// CHANNELS: 4 (RGBA), or 3 (RGB) for a picture whose every pixel is opaque.
void encodePart(const uint8_t* data, int width, int stride, int from, int to, bool last, int channels, Part& part) {
    const size_t pixelSize = size_t(channels);
    const size_t lineSize = 1 + size_t(width) * pixelSize;
    std::vector<uint8_t> line(lineSize);
    std::vector<uint8_t> rgba(size_t(width) * 4);
    thread_local Deflater deflater;
    z_stream* stream = deflater.stream();
    if (!stream) return;
    z_stream& z = *stream;
    part.rawSize = lineSize * size_t(to - from);
    const size_t capacity = deflateBound(&z, uLong(part.rawSize)) + 64;
    part.deflated.reset(new (std::nothrow) uint8_t[capacity]);
    if (!part.deflated) return;
    VDLAdviseLargeBuffer(part.deflated.get(), capacity);
    z.next_out = part.deflated.get();
    z.avail_out = uInt(capacity);
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
        if (channels == 4) {
            std::memcpy(&line[1], rgba.data(), 4);
            for (size_t i = 4; i < rgba.size(); ++i) line[1 + i] = uint8_t(rgba[i] - rgba[i - 4]);
        } else {
            uint8_t* o = &line[1];
            uint8_t left[3] = {0, 0, 0};
            for (size_t x = 0; x < size_t(width); ++x, o += 3) {
                const uint8_t* p = &rgba[x * 4];
                for (int c = 0; c < 3; ++c) {
                    o[c] = uint8_t(p[c] - left[c]);
                    left[c] = p[c];
                }
            }
        }
        part.adler = adler32(part.adler, line.data(), uInt(lineSize));
        z.next_in = line.data();
        z.avail_in = uInt(lineSize);
        const int flush = y + 1 < to ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        const int st = deflate(&z, flush);
        ok = (st == Z_OK || st == Z_STREAM_END || st == Z_BUF_ERROR) && z.avail_in == 0;
    }
    if (ok && to == from && last) ok = deflate(&z, Z_FINISH) == Z_STREAM_END;
    part.size = capacity - z.avail_out;
    part.ok = ok;
}

}  // namespace

std::vector<uint8_t> VDLEncodePNG(const uint8_t* data, int width, int height, int stride, const VDLPNGText& text,
                                  bool dropOpaqueAlpha) {
    if (!data || width <= 0 || height <= 0 || width > (1 << 24) || height > (1 << 24) || stride < width * 4) return {};
    // zlib counts in 32 bits: a picture of over 2 GB is left to the caller's other writer.
    if (double(width) * 4.0 * double(height) > 2e9) return {};
    try {
        bool opaque = dropOpaqueAlpha;
        for (int y = 0; y < height && opaque; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
            for (int x = 0; x < width; ++x)
                if ((row[x] >> 24) != 255) {
                    opaque = false;
                    break;
                }
        }
        const int channels = opaque ? 3 : 4;
        const bool split = double(width) * height >= 512.0 * 512.0 && height >= 2 && std::thread::hardware_concurrency() > 1;
        const int middle = split ? height / 2 : height;
        Part first, second;
        std::thread helper;
        if (split) {
            try {
                helper = std::thread(encodePart, data, width, stride, middle, height, true, channels, std::ref(second));
            } catch (...) {
                // No second thread: this one does both parts.
            }
        }
        encodePart(data, width, stride, 0, middle, !split, channels, first);
        if (helper.joinable())
            helper.join();
        else if (split)
            encodePart(data, width, stride, middle, height, true, channels, second);
        if (!first.ok || (split && !second.ok)) return {};

        // The zlib stream: its header, the parts, the check sum of all the scanlines.
        uLong adler = first.adler;
        if (split) adler = adler32_combine(adler, second.adler, z_off_t(second.rawSize));
        const uint8_t head[2] = {0x78, 0x01};  // deflate, 32K window, quickest level; a multiple of 31
        const uint8_t tail[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)};
        const std::pair<const uint8_t*, size_t> pieces[4] = {
            {head, 2}, {first.deflated.get(), first.size}, {second.deflated.get(), split ? second.size : 0}, {tail, 4}};
        size_t total = 0;
        for (const auto& p : pieces) total += p.second;

        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        constexpr size_t kChunk = 256 * 1024;
        png.reserve(total + (total / kChunk + 1) * 12 + 64);
        VDLAdviseLargeBuffer(png.data(), png.capacity());
        const uint32_t w = uint32_t(width), h = uint32_t(height);
        const uint8_t header[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                    uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                    8, uint8_t(opaque ? 2 : 6), 0, 0, 0};  // 8 bits, RGB or RGBA, deflate,
                                                                            // adaptive filters, no interlace
        putChunk(png, "IHDR", header, sizeof header);
        for (const auto& [key, value] : text) {
            if (key.empty() || key.size() > 79 || key.find('\0') != std::string::npos) continue;
            std::vector<uint8_t> body(key.begin(), key.end());
            body.push_back(0);
            body.insert(body.end(), value.begin(), value.end());
            putChunk(png, "tEXt", body.data(), body.size());
        }
        // IDAT chunks of the stream, cut every kChunk bytes whatever piece they fall in.
        size_t piece = 0, at = 0;
        for (size_t done = 0; done < total;) {
            const size_t size = std::min(kChunk, total - done);
            putBig32(png, uint32_t(size));
            const size_t start = png.size();
            png.insert(png.end(), {'I', 'D', 'A', 'T'});
            for (size_t left = size; left > 0;) {
                while (at == pieces[piece].second) ++piece, at = 0;
                const size_t n = std::min(left, pieces[piece].second - at);
                png.insert(png.end(), pieces[piece].first + at, pieces[piece].first + at + n);
                at += n;
                left -= n;
            }
            putBig32(png, uint32_t(crc32(0L, png.data() + start, uInt(png.size() - start))));
            done += size;
        }
        putChunk(png, "IEND", nullptr, 0);
        return png;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

VDLPNGText VDLReadPNGText(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    VDLPNGText text;
    if (!data || size < 8 || std::memcmp(data, kSignature, 8) != 0) return text;
    size_t at = 8;
    while (size - at >= 12) {
        const uint32_t length = uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
        if (length > size - at - 12) break;
        const uint8_t* type = data + at + 4;
        const uint8_t* body = data + at + 8;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
        if (std::memcmp(type, "tEXt", 4) == 0) {
            const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(body, 0, length));
            if (zero)
                text.emplace_back(std::string(reinterpret_cast<const char*>(body), size_t(zero - body)),
                                  std::string(reinterpret_cast<const char*>(zero + 1), size_t(body + length - zero - 1)));
        }
        at += 12 + size_t(length);
    }
    return text;
}
