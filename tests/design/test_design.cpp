#include "TestSupport.h"
#include "VDLValueTransformer.h"

#include <gtest/gtest.h>

namespace {
struct MillimetreUnit {
    MillimetreUnit() { VDLValueTransformer::setMeasurementUnitProvider([] { return int64_t(0); }); }
    ~MillimetreUnit() { VDLValueTransformer::setMeasurementUnitProvider({}); }
};

VDLStitch st(float x, float y) { return VDLStitch(x, y, false, false); }
VDLStitch jump(float x, float y) { return VDLStitch(x, y, true, false); }
VDLStitch change(float x, float y) { return VDLStitch(x, y, false, true); }
}  // namespace

TEST(Stitch, NullStitchAndSelectionMark) {
    EXPECT_TRUE(VDLStitch(0.0f, -0.0f, false, false).isNullStitch());
    EXPECT_TRUE(VDLStitch(0, 0, true, true).isNullStitch());
    EXPECT_FALSE(VDLStitch(0, 1e-30f, false, false).isNullStitch());
    VDLStitch s(1, 2, true, false);
    EXPECT_FALSE(s.isSelected);
    s.isSelected = true;
    VDLStitch copy = s;
    EXPECT_TRUE(copy.isSelected);
    EXPECT_EQ(s.description(), "Embroidery Stitch (deltaX=1.00, deltaY=2.00, Jump-Stitch=1, Color-Change=0), selected=1");
}

TEST(Design, FreshDesignDefaults) {
    VDLDesign d;
    EXPECT_EQ(d.displayRange(), (VDLRange{0, 0}));
    EXPECT_FALSE(d.useThreadFile());
    EXPECT_EQ(d.designVersion(), 0);
    EXPECT_EQ(d.numberOfThreads(), 0);
    EXPECT_EQ(d.numberOfStitches(), 1);  // records + 1 − threads, even when empty
    EXPECT_EQ(d.designPalette(), "");
    EXPECT_EQ(d.designPaletteName(), "Threadcolors");
    EXPECT_EQ(d.hoopCode(), -1);
    EXPECT_EQ(d.hoopName(), "");
    EXPECT_TRUE(d.isShownOfAllThreads());
    EXPECT_EQ(d.indexOfShownThread(), VDLNotFound);
    EXPECT_FALSE(d.isWritable());
}

TEST(Design, CountsOnAConsistentDesign) {
    // 100 records: 2 colour changes, 5 jumps, one record both jump and colour change.
    std::vector<VDLStitch> s;
    for (int i = 0; i < 100; ++i) s.push_back(st(1, 0));
    s[10].isColorChange = true;
    s[50].isColorChange = true;
    s[50].isJumpStitch = true;  // a colour change, not a jump
    for (int i : {1, 2, 3, 20, 60}) s[size_t(i)].isJumpStitch = true;
    VDLDesign d = makeDesign(s);
    EXPECT_EQ(d.numberOfThreads(), 3);
    EXPECT_EQ(d.numberOfStitches(), 98);
    EXPECT_EQ(d.numberOfJumps(), 5);
    EXPECT_EQ(d.numberOfDifferentColors(), 3);
    d.threads()[2].setColor(d.threads()[0].color());
    EXPECT_EQ(d.numberOfDifferentColors(), 2);
}

TEST(Design, BoundsWidthCentreFirstAndLastStitch) {
    VDLDesign d = makeDesign({jump(10, 0), jump(0, 5), st(3, 3), st(-20, -1)});
    EXPECT_EQ(d.firstStitch(), (VDLPoint{10, 5}));
    EXPECT_EQ(d.lastStitch(), (VDLPoint{-7, 7}));
    EXPECT_EQ(d.xMin(), -7);  // the origin counts only when a record ends there
    EXPECT_EQ(d.yMin(), 0);
    EXPECT_EQ(d.xMax(), 13);
    EXPECT_EQ(d.yMax(), 8);
    EXPECT_EQ(makeDesign({st(1, 1)}).firstStitch(), (VDLPoint{0, 0}));

    VDLDesign w;
    w.setXMin(-10.7f);
    w.setXMax(20.9f);
    EXPECT_EQ(w.designWidth(), 31);
    w.setYMin(5);
    w.setYMax(-5);
    EXPECT_EQ(w.designHeight(), -10);
    EXPECT_EQ(w.centerOfDesign().x, double((-10.7f + 20.9f) * 0.5f));
    w.resetBoundsForReading();  // unset bounds must not overflow
    EXPECT_EQ(w.designWidth(), INT32_MIN);
}

TEST(Design, PaletteAndWritability) {
    VDLDesign d = makeDesign({st(1, 1), change(1, 1), change(1, 1)});
    EXPECT_EQ(d.designPalette(), "Undefined");
    EXPECT_EQ(d.designPaletteName(), "Undefined");
    d.threads()[0] = VDLThread("1", "Sulky Rayon");
    d.threads()[1] = VDLThread("1", "Sulky Rayon");
    d.threads()[2].changeToColor(VDLColor(1, 0, 0), "");
    EXPECT_EQ(d.designPalette(), "");
    EXPECT_EQ(d.designPaletteName(), "Threadcolors");

    for (const char* t : {"JEF", "PEC", "DST", "EXP", "PCS"}) {
        d.setDesignType(t);
        EXPECT_TRUE(d.isWritable()) << t;
    }
    d.setDesignType("PES");
    d.setDesignVersion(10);
    EXPECT_TRUE(d.isWritable());
    d.setDesignVersion(60);
    EXPECT_FALSE(d.isWritable());
    for (const char* t : {"VP3", "SEW", "JPX", "KSM", "PCD", "PCQ"}) {
        d.setDesignType(t);
        EXPECT_FALSE(d.isWritable()) << t;
    }
}

TEST(Design, ThreadVisibility) {
    VDLDesign d = makeDesign({st(1, 1), change(1, 1), change(1, 1)});
    d.setIsShown(false, 0);
    EXPECT_FALSE(d.isShownOfThread(0));
    EXPECT_FALSE(d.isShownOfAllThreads());
    EXPECT_EQ(d.indexOfShownThread(), 1);
    EXPECT_EQ(d.nameOfThread(1), d.threads()[1].name());
    EXPECT_EQ(d.paletteOfThread(2), "Undefined");
}

TEST(Design, CopiesAreDeepButShareHoopAndName) {
    VDLDesign d = makeDesign({st(1, 1), change(2, 2)});
    d.setHoopFromVendor("Janome", 4);
    d.setDesignName("rose.jef");
    VDLDesign c = d.copy();
    c.stitches()[0].deltaX = 99;
    c.threads()[0].setColor(VDLColor(0.1, 0.2, 0.3));
    EXPECT_EQ(d.stitches()[0].deltaX, 1);
    EXPECT_NE(d.threads()[0].color(), VDLColor(0.1, 0.2, 0.3));
    EXPECT_EQ(c.designHoop(), d.designHoop());
    EXPECT_EQ(c.designName(), "rose.jef");
}

TEST(Design, ArchiveRoundTripRestoresEverythingButTheDisplayRange) {
    VDLDesign d = makeDesign({st(1.25f, -3.5f), jump(100, 0), change(0, 1)});
    d.stitches()[1].isSelected = true;
    d.setHoopFromVendor("Pfaff", 3);
    d.setDesignName("rose.pcs");
    d.setDesignType("PCS");
    d.setDesignLocation(VDLURL::fileURLWithPath("/tmp/rose.pcs"));
    d.setUseThreadFile(true);
    d.setSelectionActive(true);
    d.setDisplayRange(VDLRange{1, 1});
    d.threads()[1].setIsShown(false);

    const std::string xml = d.archivedXML();
    EXPECT_NE(xml.find("VDLEmbroiderDesignStitches"), std::string::npos);
    EXPECT_NE(xml.find("VDLEmbroideryStitchDeltaX"), std::string::npos);
    EXPECT_NE(xml.find("VDLEmbroideryHoopName"), std::string::npos);
    auto back = VDLDesign::unarchiveFromXML(xml);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->stitches().size(), 3u);
    EXPECT_EQ(back->stitches()[0].deltaX, 1.25f);
    EXPECT_EQ(back->stitches()[0].deltaY, -3.5f);
    EXPECT_TRUE(back->stitches()[1].isJumpStitch);
    EXPECT_TRUE(back->stitches()[1].isSelected);
    EXPECT_TRUE(back->stitches()[2].isColorChange);
    ASSERT_EQ(back->threads().size(), 2u);
    EXPECT_FALSE(back->threads()[1].isShown());
    EXPECT_EQ(back->threads()[0].key(), "1");
    EXPECT_EQ(back->hoopName(), d.hoopName());
    EXPECT_EQ(back->hoopCode(), 3);
    EXPECT_EQ(back->designName(), "rose.pcs");
    EXPECT_EQ(back->designType(), "PCS");
    EXPECT_EQ(back->designLocation().path(), "/tmp/rose.pcs");
    EXPECT_EQ(back->xMax(), d.xMax());
    EXPECT_EQ(back->designVersion(), 10);
    EXPECT_TRUE(back->useThreadFile());
    EXPECT_TRUE(back->selectionActive());
    EXPECT_EQ(back->displayRange(), (VDLRange{0, 3}));

    // Missing keys read as 0 / NO / none; garbage is refused.
    auto empty = VDLDesign::unarchiveFromXML(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->stitches().empty());
    EXPECT_FALSE(empty->designHoop().has_value());
    EXPECT_FALSE(VDLDesign::unarchiveFromXML("garbage"));
}

TEST(Design, DescriptionWithAndWithoutHoop) {
    MillimetreUnit mm;
    VDLDesign d = makeDesign({st(0, 0), st(315, 0), st(0, 207), change(-5, 0), jump(1, 0)});
    d.setDesignName("rose.dst");
    d.threads()[1] = VDLThread("1", "Sulky Rayon");
    EXPECT_EQ(d.description(),
              "rose.dst (DST Version 1.0)\nsize: 31.5 mm x 20.7 mm\n4 stitches including 1 jumps\n"
              "2 color changes with 2 different colors\n1. " +
                  d.threads()[0].name() + "\n2. " + d.threads()[1].name() + ", Sulky Rayon");
    d.setHoopFromVendor("Janome", 4);
    EXPECT_EQ(d.description().substr(0, 88),
              "rose.dst (DST Version 1.0)\nsize: 31.5 mm x 20.7 mm, hoop Janome SQ (200.0 mm x 200.0 mm)");
}
