#pragma once
// PNG files of ARGB32 pictures, written fast: rows filtered by their left neighbour, deflated
// by runs only, the two halves of a large picture compressed at once on two threads
// into one zlib stream (the first half ends on a byte boundary, the second starts afresh).
// The pixels come out as Cairo writes them: 8-bit RGBA, the colours divided back out of the
// premultiplied alpha with the same rounding.
#include <cstdint>
#include <vector>

// DATA: WIDTH x HEIGHT premultiplied ARGB32 pixels (native byte order), STRIDE bytes per row.
// Empty when the size is unusable (or over 2 GB of pixels) or memory runs out.
std::vector<uint8_t> VDLEncodePNG(const uint8_t* data, int width, int height, int stride);
