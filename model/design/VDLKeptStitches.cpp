#include "VDLKeptStitches.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kStitchMagic[8] = {'V', 'D', 'L', 'S', 'T', 'C', 'H', '1'};
constexpr size_t kStitchRecord = 9;
static_assert(std::endian::native == std::endian::little, "the kept stitch list is written in host order");

}  // namespace

std::string VDLEncodeKeptStitches(const std::vector<VDLStitch>& stitches) {
    std::string out(sizeof kStitchMagic + 8 + stitches.size() * kStitchRecord, '\0');
    char* p = out.data();
    std::memcpy(p, kStitchMagic, sizeof kStitchMagic);
    p += sizeof kStitchMagic;
    const uint64_t n = stitches.size();
    std::memcpy(p, &n, 8);
    p += 8;
    for (const VDLStitch& st : stitches) {
        std::memcpy(p, &st.deltaX, 4);
        std::memcpy(p + 4, &st.deltaY, 4);
        p[8] = char((st.isJumpStitch ? 1 : 0) | (st.isColorChange ? 2 : 0) | (st.isSelected ? 4 : 0));
        p += kStitchRecord;
    }
    return out;
}

std::optional<std::vector<VDLStitch>> VDLDecodeKeptStitches(std::string_view bytes) {
    if (bytes.size() < sizeof kStitchMagic + 8 || std::memcmp(bytes.data(), kStitchMagic, sizeof kStitchMagic) != 0)
        return std::nullopt;
    uint64_t n = 0;
    std::memcpy(&n, bytes.data() + sizeof kStitchMagic, 8);
    // The count must match the bytes exactly: a cut or padded file is not the list that was kept.
    const size_t body = bytes.size() - sizeof kStitchMagic - 8;
    if (n > body / kStitchRecord || n * kStitchRecord != body) return std::nullopt;
    std::vector<VDLStitch> stitches(n);
    const char* p = bytes.data() + sizeof kStitchMagic + 8;
    for (VDLStitch& st : stitches) {
        std::memcpy(&st.deltaX, p, 4);
        std::memcpy(&st.deltaY, p + 4, 4);
        const auto flags = uint8_t(p[8]);
        if (flags > 7 || !std::isfinite(st.deltaX) || !std::isfinite(st.deltaY)) return std::nullopt;
        st.isJumpStitch = flags & 1;
        st.isColorChange = flags & 2;
        st.isSelected = flags & 4;
        p += kStitchRecord;
    }
    return stitches;
}
