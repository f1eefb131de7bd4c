#pragma once
// PNG files of ARGB32 pictures, written fast: rows filtered by their left neighbour, deflated
// by runs only, the two halves of a large picture compressed at once on two threads
// into one zlib stream (the first half ends on a byte boundary, the second starts afresh).
// The pixels come out as Cairo writes them: 8-bit RGBA, the colours divided back out of the
// premultiplied alpha with the same rounding.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// DATA: WIDTH x HEIGHT premultiplied ARGB32 pixels (native byte order), STRIDE bytes per row.
// Empty when the size is unusable (or over 2 GB of pixels) or memory runs out.
// TEXT: keyword/value pairs written as tEXt chunks after the header (Latin-1 keywords of 1 to
// 79 characters; a pair whose keyword is unusable is left out).
// DROPOPAQUEALPHA: a picture whose every pixel is opaque is written as RGB, a quarter fewer
// bytes to compress and store (a thumbnail drawn on white); any other stays RGBA.
using VDLPNGText = std::vector<std::pair<std::string, std::string>>;
std::vector<uint8_t> VDLEncodePNG(const uint8_t* data, int width, int height, int stride, const VDLPNGText& text = {},
                                  bool dropOpaqueAlpha = false);

// The tEXt pairs of a PNG file's bytes, those before the first image data; empty when the
// bytes are not a PNG file.
VDLPNGText VDLReadPNGText(const uint8_t* data, size_t size);
