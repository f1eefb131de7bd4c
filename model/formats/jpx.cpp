// JPX (Janome) reader. A header with the stitch offset, version, thread count and hoop code,
// one Janome chart index and one tension per thread from byte 60, then a stitch stream
// encoded exactly like JEF. Read only.
#include "VDLDesign.h"
#include "VDLBytes.h"
#include "VDLFile.h"
#include "VDLJanomeStream.h"

namespace {

constexpr int64_t kMinimumSize = 120;
constexpr int64_t kColorTable = 60;

int32_t readI32(std::span<const uint8_t> data, size_t offset) {
    VDLByteReader r(data);
    int32_t v = 0;
    if (!r.seek(int64_t(offset)) || !r.i32le(v)) return 0;
    return v;
}

}  // namespace

bool VDLDesign::importJpxDesignFromURL(const VDLURL& url, VDLError* error) {
    designType_ = "JPX";
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(url.path(), bytes, error)) return false;
    return importJpxDesignFromData(bytes, error);
}

bool VDLDesign::importJpxDesignFromData(std::span<const uint8_t> data, VDLError* error) {
    designType_ = "JPX";
    const int64_t size = int64_t(data.size());
    if (size < kMinimumSize) return VDLDesignError(error, 210, "Unable to import JPX file (no meta data).");

    const int64_t n = readI32(data, 32);
    designVersion_ = 10 * int32_t(int8_t(data[4]));
    setHoopFromVendor("Janome", readI32(data, 40));

    // Indices and tensions both have to lie inside the file; a negative count has no list at all.
    if (n < 0 || size < kColorTable + 8 * n) return VDLDesignError(error, 211, "Unable to import JPX file (no color codes).");
    const int64_t offset = readI32(data, 0);
    if (offset < 0 || size < offset + 4) return VDLDesignError(error, 212, "Unable to import JPX file (invalid offset).");

    const size_t firstThread = threads_.size();
    threads_.reserve(firstThread + size_t(n));
    for (int64_t i = 0; i < n; ++i) appendThreadForColorIndex(readI32(data, size_t(kColorTable + 4 * i)), "Janome");
    for (int64_t i = 0; i < n; ++i)
        threads_[firstThread + size_t(i)].setTension(readI32(data, size_t(kColorTable + 4 * n + 4 * i)));

    // The number of threads is taken as declared, whatever the number of colour changes.
    resetBoundsForReading();
    VDLDecodeJanomeStitchStream(*this, data, size_t(offset));
    return true;
}
