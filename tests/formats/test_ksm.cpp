#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> ksmFile(const std::vector<uint8_t>& records) {
    std::vector<uint8_t> b(512 + records.size(), 0x20);
    std::copy(records.begin(), records.end(), b.begin() + 512);
    return b;
}

}  // namespace

TEST(KsmReader, SizeAndInvalidRecordErrors) {
    VDLDesign small;
    VDLError e;
    EXPECT_FALSE(small.importKsmDesignFromData(std::vector<uint8_t>(514, 0), &e));
    EXPECT_EQ(e.code, 170);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to read KSM (file too small)");

    VDLDesign invalid;
    EXPECT_FALSE(invalid.importKsmDesignFromData(ksmFile({1, 2, 0x80, 3, 4, 0x7F, 5, 6, 0x80}), &e));
    EXPECT_EQ(e.code, 171);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to read KSM (invalid stich data)");
    EXPECT_EQ(invalid.stitches().size(), 1u);  // what was read before stays

    // Only the end code: success without stitches, which the dispatch then refuses.
    VDLDesign empty;
    EXPECT_TRUE(empty.importKsmDesignFromData(ksmFile({0, 0, 0x88})));
    EXPECT_TRUE(empty.stitches().empty());
    EXPECT_EQ(empty.designType(), "KSM");
    EXPECT_EQ(empty.designVersion(), 10);

    TempDir dir;
    writeBytes(dir.file("empty.ksm"), ksmFile({0, 0, 0x88}));
    VDLDesign viaDispatch;
    EXPECT_FALSE(viaDispatch.importDesignFromURL(dir.url("empty.ksm"), &e));
    EXPECT_EQ(e.code, 11);
}

TEST(KsmReader, SignsAndEndCode) {
    VDLDesign d;
    ASSERT_TRUE(d.importKsmDesignFromData(ksmFile({0x0A, 0x05, 0xE0, 0x0A, 0x05, 0xC0, 0x0A, 0x05, 0xA0, 0, 0, 0x88,
                                                   9, 9, 0x80, 1})));
    ASSERT_EQ(d.stitches().size(), 3u);
    EXPECT_EQ(d.stitches()[0].deltaX, -5.0f);
    EXPECT_EQ(d.stitches()[0].deltaY, -10.0f);
    EXPECT_EQ(d.stitches()[1].deltaX, -5.0f);
    EXPECT_EQ(d.stitches()[1].deltaY, 10.0f);
    EXPECT_EQ(d.stitches()[2].deltaX, 5.0f);
    EXPECT_EQ(d.stitches()[2].deltaY, -10.0f);
    EXPECT_EQ(d.xMin(), -10.0f);
    EXPECT_EQ(d.xMax(), -5.0f);
    EXPECT_EQ(d.yMin(), -10.0f);
    EXPECT_EQ(d.yMax(), 0.0f);
    ASSERT_EQ(d.threads().size(), 1u);
    EXPECT_EQ(d.threads()[0].key(), "1");
    EXPECT_EQ(d.threads()[0].palette(), "Undefined");
}

TEST(KsmReader, JumpModeFollowsTheControlCodes) {
    VDLDesign d;
    ASSERT_TRUE(d.importKsmDesignFromData(ksmFile({
        0x0A, 0x05, 0x80,  // 0: jump mode starts on
        0x00, 0x00, 0x98,  // 1: still a jump; mode off afterwards
        0x0A, 0x05, 0x80,  // 2: stitch
        0x0A, 0x05, 0x80,  // 3: stitch
        0x01, 0x01, 0x89,  // 4: mode on again
        0x01, 0x01, 0x80,  // 5: jump
        0x01, 0x01, 0x99,  // 6: c & 0x9E = 0x98 too: a jump, then off
        0x01, 0x01, 0x80,  // 7: stitch
        0x01, 0x01, 0x97,  // 8: c & 0x8F = 0x87: mode on
        0x00, 0x00, 0x98,  // 9: jump, then off
        0x00, 0x00, 0x8B,  // 10: colour change: a jump, and jump mode on again
        0x01, 0x01, 0x80,  // 11: jump
        0x01, 0x01, 0xCC,  // 12: c & 0x8C = 0x8C: colour change, x negative
        0x00, 0x00, 0x98,  // 13: jump, then off
        0x02, 0x03, 0x80,  // 14: stitch
        0x02,              // trailing partial record: ignored
    })));
    const bool jumps[] = {true, true, false, false, true, true, true, false, true, true, true, true, true, true, false};
    const bool changes[] = {false, false, false, false, false, false, false, false,
                            false, false, true,  false, true,  false, false};
    ASSERT_EQ(d.stitches().size(), 15u);
    for (size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(d.stitches()[i].isJumpStitch, jumps[i]) << i;
        EXPECT_EQ(d.stitches()[i].isColorChange, changes[i]) << i;
    }
    EXPECT_EQ(d.stitches()[12].deltaX, -1.0f);
    ASSERT_EQ(d.threads().size(), 3u);
    EXPECT_EQ(d.threads()[1].key(), "2");
    EXPECT_EQ(d.threads()[2].key(), "3");
}

TEST(KsmReader, ThreadKeysCycleThroughTwenty) {
    std::vector<uint8_t> records;
    for (int i = 0; i < 21; ++i) records.insert(records.end(), {0x00, 0x01, 0x8B});
    VDLDesign d;
    ASSERT_TRUE(d.importKsmDesignFromData(ksmFile(records)));
    ASSERT_EQ(d.threads().size(), 22u);
    EXPECT_EQ(d.threads()[19].key(), "20");
    EXPECT_EQ(d.threads()[20].key(), "1");
    EXPECT_EQ(d.threads()[21].key(), "2");
}
