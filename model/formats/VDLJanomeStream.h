#pragma once
// The stitch stream shared by the Janome formats JEF, JPX and SEW: two signed bytes (dX, dY)
// per stitch in 0.1 mm with Y growing upward, and 0x80-prefixed command records. SEW reads its
// commands differently: 80 01 is a colour change without a move, 80 04 is not a jump.
#include <cstddef>
#include <cstdint>
#include <span>

class VDLDesign;

// Decodes the stream that starts at OFFSET (which must lie inside DATA), appends every record
// to the design's stitches and widens the design's bounds by each position reached (the caller
// resets them first). Stops at the end record, at a command with fewer than 4 bytes left, or
// when fewer than 2 bytes remain. Returns the number of colour changes read.
enum class VDLJanomeStream { JefJpx, Sew };
int64_t VDLDecodeJanomeStitchStream(VDLDesign& design, std::span<const uint8_t> data, size_t offset,
                                    VDLJanomeStream kind = VDLJanomeStream::JefJpx);
