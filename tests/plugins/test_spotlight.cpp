// The metadata plug-in through its host: the four attributes, and a dictionary left alone for
// files that do not import.
#include "PluginTestSupport.h"
#include "VDLSpotlightHost.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Spotlight : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        importer = VDLSpotlightImporter::load(kSpotlightPath, &error);
        ASSERT_TRUE(importer) << error;
    }
    double number(const VDLMDAttributes& a, const char* key) {
        const double* v = VDLMDAttributesGetNumber(&a, key);
        return v ? *v : -1;
    }
    TempDir dir;
    std::unique_ptr<VDLSpotlightImporter> importer;
};

}  // namespace

TEST_F(Spotlight, ReportsSizeInMillimetresStitchesAndDifferentColours) {
    // 1234 units wide, 50 high; three blocks of which two share a colour once written to the
    // Janome chart.
    std::vector<VDLStitch> s;
    for (int i = 0; i < 6; ++i) s.emplace_back(-100.f, 0.f, true, false);
    s.emplace_back(-17.f, -25.f, true, false);
    for (int i = 0; i < 12; ++i) s.emplace_back(100.f, 0.f, false, false);
    s.emplace_back(0.f, 0.f, false, true);
    s.emplace_back(34.f, 0.f, false, false);
    s.emplace_back(0.f, 0.f, false, true);
    s.emplace_back(0.f, 50.f, false, false);
    VDLDesign d = makeDesign(s, "JEF");
    d.threads()[2] = d.threads()[0];
    const std::string file = dir.file("wide.jef");
    VDLError error;
    ASSERT_TRUE(d.exportDesignToURL(VDLURL::fileURLWithPath(file), &error)) << error.message();
    VDLDesign back;
    ASSERT_TRUE(back.importDesignFromURL(VDLURL::fileURLWithPath(file)));
    ASSERT_EQ(back.designWidth(), 1234);

    VDLMDAttributes attributes{};
    ASSERT_TRUE(importer->importData(file, attributes));
    EXPECT_EQ(attributes.count, 4u);
    EXPECT_DOUBLE_EQ(number(attributes, "vardelle_embroidery_width"), 123.4);
    EXPECT_DOUBLE_EQ(number(attributes, "vardelle_embroidery_height"), 5.0);
    EXPECT_EQ(number(attributes, "vardelle_embroidery_stitches"), back.numberOfStitches());
    EXPECT_EQ(number(attributes, "vardelle_embroidery_colors"), 2);

    // Asked again, the values are replaced, not added.
    ASSERT_TRUE(importer->importData(file, attributes));
    EXPECT_EQ(attributes.count, 4u);
}

TEST_F(Spotlight, AFileThatDoesNotImportLeavesTheDictionaryUntouched) {
    writeBytes(dir.file("bad.pes"), {'#', 'P', 'E', 'S', '0', '0', '0', '1'});
    writeBytes(dir.file("empty.dst"), {});
    std::filesystem::create_directories(dir.file("folder.dst"));
    VDLMDAttributes attributes{};
    ASSERT_TRUE(VDLMDAttributesSetNumber(&attributes, "vardelle_embroidery_width", 7));
    ASSERT_TRUE(VDLMDAttributesSetNumber(&attributes, "kMDItemPixelCount", 42));
    const VDLMDAttributes before = attributes;
    for (const std::string& path : {dir.file("bad.pes"), dir.file("empty.dst"), dir.file("folder.dst"),
                                    dir.file("missing.jef"), dir.file("readme.txt"), std::string()}) {
        EXPECT_FALSE(importer->importData(path, attributes)) << path;
        EXPECT_EQ(std::memcmp(&attributes, &before, sizeof attributes), 0) << path;
    }
    // A dictionary too full to take all four is left as it was.
    VDLMDAttributes full{};
    for (int i = 0; i < VDL_MD_ATTRIBUTES_CAPACITY - 2; ++i)
        ASSERT_TRUE(VDLMDAttributesSetNumber(&full, ("key" + std::to_string(i)).c_str(), i));
    const VDLMDAttributes fullBefore = full;
    EXPECT_FALSE(importer->importData(kSamplesDir + "/flower.dst", full));
    EXPECT_EQ(std::memcmp(&full, &fullBefore, sizeof full), 0);
}
