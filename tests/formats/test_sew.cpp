#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

namespace {

constexpr size_t kStream = 7544;

std::vector<uint8_t> sewFile(const std::vector<uint16_t>& indices, const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> b(kStream, 0);
    b[0] = uint8_t(indices.size());
    b[1] = uint8_t(indices.size() >> 8);
    for (size_t i = 0; i < indices.size() && 2 + 2 * i + 1 < kStream; ++i) {
        b[2 + 2 * i] = uint8_t(indices[i]);
        b[3 + 2 * i] = uint8_t(indices[i] >> 8);
    }
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

int64_t readError(const std::vector<uint8_t>& bytes) {
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importSewDesignFromData(bytes, &e));
    EXPECT_EQ(e.domain, VDLDesignErrorDomain);
    return e.code;
}

}  // namespace

TEST(SewReader, SizeAndColourCount) {
    EXPECT_EQ(readError(sewFile({1}, {})), 90);  // exactly 7544 bytes
    EXPECT_EQ(readError({}), 90);
    EXPECT_EQ(readError(sewFile({}, {0x00})), 91);
    EXPECT_EQ(readError(sewFile(std::vector<uint16_t>(13, 1), {0x00})), 91);
    std::vector<uint8_t> huge = sewFile({1}, {0x00});
    huge[1] = 0xFF;
    EXPECT_EQ(readError(huge), 91);

    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importSewDesignFromData(sewFile({}, {0x00}), &e));
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to read SEW: Number of colors invalid.");

    // One byte of stream: read, with no stitches.
    VDLDesign empty;
    ASSERT_TRUE(empty.importSewDesignFromData(sewFile({1}, {0x00})));
    EXPECT_TRUE(empty.stitches().empty());
    EXPECT_EQ(empty.threads().size(), 1u);
    EXPECT_EQ(empty.designType(), "SEW");
}

TEST(SewReader, VersionAndThreadsComeFromTheIndices) {
    std::vector<uint16_t> low;
    for (uint16_t i = 1; i <= 12; ++i) low.push_back(i);
    VDLDesign d;
    ASSERT_TRUE(d.importSewDesignFromData(sewFile(low, {0x01, 0x01})));
    EXPECT_EQ(d.designVersion(), 10);
    ASSERT_EQ(d.threads().size(), 12u);
    EXPECT_EQ(d.threads()[0].key(), "002");
    EXPECT_EQ(d.threads()[11].key(), "207");

    // Index 13 raises the version. Index 0 ("x9", missing from the palette) and an index
    // outside the chart get no fallback: they stay threads without a palette entry.
    VDLDesign v;
    ASSERT_TRUE(v.importSewDesignFromData(sewFile({13, 0, 500}, {0x01, 0x01})));
    EXPECT_EQ(v.designVersion(), 20);
    ASSERT_EQ(v.threads().size(), 3u);
    EXPECT_EQ(v.threads()[0].key(), "003");
    EXPECT_EQ(v.threads()[1].key(), "x9");
    EXPECT_TRUE(v.threads()[1].paletteName().empty());
    EXPECT_TRUE(v.threads()[2].key().empty());
    EXPECT_TRUE(v.threads()[2].paletteName().empty());
}

TEST(SewReader, StreamRecords) {
    TempDir dir;
    writeBytes(dir.file("a.sew"), sewFile({1, 2}, {
                                               0x0A, 0xF6,              // (10, -10)
                                               0x80, 0x04,              // not a jump here: a still stitch
                                               0x80, 0x01, 0x05, 0x05,  // change without movement
                                               0x80, 0x02, 0x9C, 0x14,  // jump (-100, 20)
                                               0x80, 0x10, 0x01, 0x01,  // end
                                           }));
    VDLDesign d;
    ASSERT_TRUE(d.importSewDesignFromURL(dir.url("a.sew")));
    ASSERT_EQ(d.stitches().size(), 4u);
    const auto& s = d.stitches();
    EXPECT_TRUE(s[1].isNullStitch() && !s[1].isJumpStitch && !s[1].isColorChange);
    EXPECT_TRUE(s[2].isColorChange && s[2].isNullStitch() && !s[2].isJumpStitch);
    EXPECT_TRUE(s[3].isJumpStitch && s[3].deltaX == -100 && s[3].deltaY == 20);
    EXPECT_EQ(d.xMin(), -90);
    EXPECT_EQ(d.xMax(), 10);
    EXPECT_EQ(d.yMin(), -10);
    EXPECT_EQ(d.yMax(), 10);

    // A truncated command at the end of the file ends the stream.
    VDLDesign t;
    ASSERT_TRUE(t.importSewDesignFromData(sewFile({1}, {0x01, 0x02, 0x80, 0x02, 0x05})));
    EXPECT_EQ(t.stitches().size(), 1u);
}
