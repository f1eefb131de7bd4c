#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

namespace {

void put32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(uint32_t(v) >> (8 * i));
}

// A JPX file: indices and tensions from byte 60, the stream after a 120-byte minimum header.
std::vector<uint8_t> jpxFile(const std::vector<int32_t>& indices, const std::vector<uint8_t>& stream, int8_t version = 1,
                             int32_t hoop = 0) {
    const size_t n = indices.size();
    const size_t offset = std::max<size_t>(120, 60 + 8 * n);
    std::vector<uint8_t> b(offset, 0);
    put32(b, 0, int32_t(offset));
    b[4] = uint8_t(version);
    put32(b, 32, int32_t(n));
    put32(b, 40, hoop);
    for (size_t i = 0; i < n; ++i) {
        put32(b, 60 + 4 * i, indices[i]);
        put32(b, 60 + 4 * n + 4 * i, int32_t(20 + i));
    }
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

int64_t readError(const std::vector<uint8_t>& bytes) {
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importJpxDesignFromData(bytes, &e));
    EXPECT_EQ(e.domain, VDLDesignErrorDomain);
    return e.code;
}

}  // namespace

TEST(JpxReader, HeaderThreadsAndStream) {
    // Two threads, five colour changes: the threads are not reconciled with the blocks.
    std::vector<uint8_t> stream = {0x02, 0x03, 0x80, 0x04, 0xF0, 0x01, 0x80, 0x07};
    for (int i = 0; i < 5; ++i) stream.insert(stream.end(), {0x80, 0x01, 0x01, 0xFF});
    stream.insert(stream.end(), {0x80, 0x10, 0x05, 0x05});
    TempDir dir;
    writeBytes(dir.file("a.JPX"), jpxFile({1, 23}, stream, 2, 4));
    VDLDesign d;
    VDLError e;
    ASSERT_TRUE(d.importJpxDesignFromURL(dir.url("a.JPX"), &e)) << e.description();
    EXPECT_EQ(d.designType(), "JPX");
    EXPECT_EQ(d.designVersion(), 20);
    EXPECT_EQ(d.hoopCode(), 4);
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].key(), "002");
    EXPECT_EQ(d.threads()[1].key(), "220");
    EXPECT_EQ(d.threads()[0].tension(), 20);
    EXPECT_EQ(d.threads()[1].tension(), 21);
    ASSERT_EQ(d.stitches().size(), 8u);
    EXPECT_TRUE(d.stitches()[1].isJumpStitch);
    EXPECT_EQ(d.stitches()[1].deltaX, -16);
    EXPECT_TRUE(d.stitches()[2].isNullStitch());
    EXPECT_TRUE(d.stitches()[3].isColorChange && d.stitches()[3].deltaY == -1);
    EXPECT_EQ(absolutePositions(d).back(), (VDLPoint{-9, -1}));
    EXPECT_EQ(d.xMin(), -14);
    EXPECT_EQ(d.yMax(), 4);

    VDLDesign negative;
    ASSERT_TRUE(negative.importJpxDesignFromData(jpxFile({1}, {0x01, 0x01, 0x80, 0x10}, -1)));
    EXPECT_EQ(negative.designVersion(), -10);
}

TEST(JpxReader, MalformedFilesFail) {
    EXPECT_EQ(readError(std::vector<uint8_t>(119, 0)), 210);

    std::vector<uint8_t> b = jpxFile({1, 2}, {0x01, 0x01});
    std::vector<uint8_t> counts = b;
    put32(counts, 32, 8);  // 60 + 64 > 122 bytes
    EXPECT_EQ(readError(counts), 211);
    put32(counts, 32, 0x7FFFFFFF);
    EXPECT_EQ(readError(counts), 211);
    put32(counts, 32, -1);
    EXPECT_EQ(readError(counts), 211);

    std::vector<uint8_t> offset = b;
    put32(offset, 0, -4);
    EXPECT_EQ(readError(offset), 212);
    put32(offset, 0, int32_t(offset.size()) - 3);
    EXPECT_EQ(readError(offset), 212);

    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importJpxDesignFromData(offset, &e));
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import JPX file (invalid offset).");
    EXPECT_EQ(d.designType(), "JPX");
}
