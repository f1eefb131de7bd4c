#include "TestSupport.h"
#include "VDLPropertyList.h"
#include "VDLUserDefaults.h"
#include "VDLValueTransformer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

TEST(Measurement, MillimetresWithGroupingAndHalfToEven) {
    VDLValueTransformer en("en_US");
    EXPECT_EQ(en.transformedValue(25.4, 0), "25.4 mm");
    EXPECT_EQ(en.transformedValue(1234.56, 0), "1,234.6 mm");
    EXPECT_EQ(en.transformedValue(-3.25, 0), "-3.2 mm");  // exact half goes to even
    EXPECT_EQ(en.transformedValue(0.75, 0), "0.8 mm");
    EXPECT_EQ(en.transformedValue(0, 0), "0.0 mm");
    VDLValueTransformer de("de_DE");
    EXPECT_EQ(de.transformedValue(1234.56, 0), "1.234,6 mm");
}

TEST(Measurement, DecimalAndFractionalInches) {
    VDLValueTransformer en("en_US");
    EXPECT_EQ(en.transformedValue(25.4, 1), "1.00\"");
    EXPECT_EQ(en.transformedValue(38.1, 2), "1 1/2\"");
    EXPECT_EQ(en.transformedValue(12.7, 2), "1/2\"");
    EXPECT_EQ(en.transformedValue(-12.7, 2), "-1/2\"");
    EXPECT_EQ(en.transformedValue(25.5, 2), "1\"");
    EXPECT_EQ(en.transformedValue(0, 2), "0\"");
    EXPECT_EQ(en.transformedValue(0.5, 2), "0\"");
    EXPECT_EQ(en.transformedValue(39.0, 2), "1 17/32\"");
    EXPECT_EQ(en.transformedValue(-38.1, 2), "-1 1/2\"");
    EXPECT_EQ(en.transformedValue(1e30, 2).back(), '"');  // far beyond whole inches: no overflow
}

TEST(Measurement, Parsing) {
    VDLValueTransformer en("en_US");
    EXPECT_EQ(en.reverseTransformedValue("12.5 mm", 2), 12.5);
    EXPECT_EQ(en.reverseTransformedValue("12.5 mm", 0), 12.5);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("1/2", 2), 12.7);
    EXPECT_EQ(en.reverseTransformedValue("2", 0), 2.0);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("2", 1), 50.8);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("1 1/2\"", 0), 38.1);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("-1 1/2 in", 0), -38.1);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("  1,234.5mm", 1), 1234.5);
    EXPECT_EQ(en.reverseTransformedValue("", 0), 0.0);
    EXPECT_EQ(en.reverseTransformedValue("abc", 0), 0.0);
    EXPECT_DOUBLE_EQ(en.reverseTransformedValue("3/0", 2), 76.2);  // no division by zero
    VDLValueTransformer de("de_DE");
    EXPECT_EQ(de.reverseTransformedValue("12,5 mm", 1), 12.5);
}

TEST(Measurement, UnitFromHookElsePreferencesElseMillimetres) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    VDLValueTransformer::setMeasurementUnitProvider({});
    EXPECT_EQ(VDLValueTransformer::measurementUnit(), 0);  // no preference file: millimetres

    std::filesystem::create_directories(dir.path() / "vardelle");
    VDLPlist prefs(plist_new_dict());
    plist_dict_set_item(static_cast<plist_t>(prefs.get()), "MeasurementUnit", plist_new_uint(1));
    ASSERT_TRUE(VDLWritePlistFile(VDLPreferencesPath(), static_cast<plist_t>(prefs.get())));
    EXPECT_EQ(VDLValueTransformer::measurementUnit(), 1);
    EXPECT_EQ(VDLValueTransformer("en_US").transformedValue(25.4), "1.00\"");

    VDLValueTransformer::setMeasurementUnitProvider([] { return int64_t(2); });
    EXPECT_EQ(VDLValueTransformer::measurementUnit(), 2);
    VDLValueTransformer::setMeasurementUnitProvider({});
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}
