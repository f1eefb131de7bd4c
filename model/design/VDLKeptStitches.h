#pragma once
// The compact form in which a window state keeps the stitches of a design with unsaved changes:
// "VDLSTCH1", the count (64 bits), then per stitch its two deltas (32-bit floats) and one byte of
// flags (1 jump, 2 colour change, 4 selected); all little-endian. Nine bytes a stitch, written and
// read in one pass, so keeping a million-stitch design at quit costs a few milliseconds.
#include "VDLStitch.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::string VDLEncodeKeptStitches(const std::vector<VDLStitch>& stitches);
// The list, or nothing when BYTES are not exactly a kept list: wrong magic, a count that does
// not match the length, a flag byte out of range or a delta that is not a finite number.
std::optional<std::vector<VDLStitch>> VDLDecodeKeptStitches(std::string_view bytes);
