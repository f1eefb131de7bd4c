#include "TestSupport.h"
#include "VDLValueTransformer.h"

#include <gtest/gtest.h>

namespace {
VDLDesign sized(float w, float h) {
    VDLDesign d;
    d.setXMin(-w / 2);
    d.setXMax(w / 2);
    d.setYMin(-h / 2);
    d.setYMax(h / 2);
    return d;
}
}  // namespace

TEST(Hoops, CatalogueOrderAndVendors) {
    const auto all = VDLDesign::hoops();
    ASSERT_EQ(all.size(), 34u);
    EXPECT_EQ(all.front().name(), "C/FA/M3");
    EXPECT_EQ(all[7].name(), "MA");
    EXPECT_TRUE(all[7].isMultiHoop());
    EXPECT_FALSE(all[7].isWritable());
    EXPECT_TRUE(all[10].isRounded());
    EXPECT_EQ(all.back().name(), "L");
    EXPECT_EQ(VDLDesign::allHoopsFromVendor("Janome")->size(), 32u);
    EXPECT_EQ(VDLDesign::allHoopsFromVendor("Pfaff")->size(), 2u);
    EXPECT_FALSE(VDLDesign::allHoopsFromVendor("janome").has_value());
}

TEST(Hoops, AssigningByCode) {
    VDLDesign d;
    EXPECT_TRUE(d.setHoopFromVendor("Janome", 4));
    EXPECT_EQ(d.designHoop()->name(), "SQ");
    EXPECT_FALSE(d.setHoopFromVendor("Pfaff", 4));
    EXPECT_EQ(d.designHoop()->name(), "SQ");  // unchanged
    EXPECT_FALSE(d.setHoopFromVendor("Janome", -1));
    EXPECT_FALSE(d.designHoop().has_value());  // −1 removes it
    EXPECT_EQ(d.hoopWidth(), 0);
    EXPECT_EQ(d.hoopVendor(), "");
}

TEST(Hoops, FittingFindingAndOutsideStitches) {
    const VDLHoop small = VDLDesign::hoops()[0];  // C/FA/M3 50 × 50
    EXPECT_TRUE(sized(500, 500).designFitsInHoop(small));
    EXPECT_FALSE(sized(501, 500).designFitsInHoop(small));

    EXPECT_EQ(sized(1300, 1300).findHoopFromVendor("Janome")->name(), "B/RE");  // catalogue order, not size
    EXPECT_EQ(sized(2000, 2790).findHoopFromVendor("Janome")->name(), "GR");
    EXPECT_FALSE(sized(2350, 2790).findHoopFromVendor("Janome").has_value());  // only MA, not writable
    EXPECT_FALSE(sized(10, 10).findHoopFromVendor("Brother").has_value());
    EXPECT_EQ(sized(900, 900).findHoopFromVendor("Pfaff")->name(), "L");

    const VDLHoop j8 = VDLDesign::hoops()[28];
    ASSERT_EQ(j8.name(), "J8");
    VDLDesign d = sized(100, 100);
    d.setYMax(599);
    EXPECT_FALSE(d.stitchesOutsideOfHoop(j8));
    d.setYMax(600);  // half height is 600 (121 / 2 = 60), not 605
    EXPECT_TRUE(d.stitchesOutsideOfHoop(j8));
    d.setYMax(10);
    d.setXMin(-600);
    EXPECT_TRUE(d.stitchesOutsideOfHoop(j8));
}

TEST(Hoops, EqualityAndDescriptions) {
    VDLValueTransformer::setMeasurementUnitProvider([] { return int64_t(0); });
    const auto all = VDLDesign::hoops();
    EXPECT_EQ(all[5].description(), "Janome SQ (200.0 mm x 200.0 mm)");
    EXPECT_EQ(all[10].description(), "Janome T1 (⌀ 34.0 mm)");
    EXPECT_EQ(VDLHoop("", "Janome", 1, 10, 20, false, false, true).description(), "10.0 mm x 20.0 mm");
    EXPECT_EQ(VDLHoop("A", "Janome", 99, 110, 110, true, true, false), all[1]);  // code and flags ignored
    EXPECT_FALSE(VDLHoop("A", "Pfaff", 0, 110, 110, false, false, true) == all[1]);
    VDLValueTransformer::setMeasurementUnitProvider([] { return int64_t(1); });
    EXPECT_EQ(all[5].sizeString(), "7.87\" x 7.87\"");
    VDLValueTransformer::setMeasurementUnitProvider({});
}
