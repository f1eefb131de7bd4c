// The preview plug-in's drawings, run through the host into a recording context: the
// thumbnail's fitting and the preview page's texts, positions, fonts, swatches and design area.
#include "PluginTestSupport.h"
#include "VDLFormat.h"
#include "VDLQuickLookHost.h"
#include "VDLRecordingContext.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>

namespace {

using Kind = VDLRecordedOp::Kind;

// Points the preferences file at a folder of the test's own, with CONTENT as the file's
// dictionary body ("" for no file).
class Preferences {
public:
    explicit Preferences(const std::string& dictBody) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) saved_ = old;
        hadOld_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        if (dictBody.empty()) return;
        std::filesystem::create_directories(dir_.path() / "vardelle");
        std::ofstream(dir_.file("vardelle/vardelle.app.plist"))
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" << dictBody
            << "</dict></plist>\n";
    }
    ~Preferences() {
        if (hadOld_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

private:
    TempDir dir_;
    std::string saved_;
    bool hadOld_ = false;
};

class QuickLook : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        generator = VDLQuickLookGenerator::load(kQuickLookPath, &error);
        ASSERT_TRUE(generator) << error;
    }

    VDLQLRequestResult thumbnail(const std::string& url) {
        return generator->generateThumbnail(url, [this](VDLQLSize) { return &recorder; });
    }
    VDLQLRequestResult preview(const std::string& url) {
        return generator->generatePreview(url, [this](VDLQLSize) { return &recorder; });
    }
    size_t paintingOps() const {
        size_t n = 0;
        for (Kind k : {Kind::Stroke, Kind::Fill, Kind::EOFill, Kind::FillRect, Kind::StrokeRect, Kind::LinearGradient,
                       Kind::Text})
            n += recorder.count(k);
        return n;
    }
    // The Text operations at baseline Y, in order.
    std::vector<VDLRecordedOp> textsAt(double y) const {
        std::vector<VDLRecordedOp> out;
        for (const auto& op : recorder.opsOfKind(Kind::Text))
            if (op.y == y) out.push_back(op);
        return out;
    }

    TempDir dir;
    VDLRecordingContext recorder;
    std::unique_ptr<VDLQuickLookGenerator> generator;
};

}  // namespace

TEST_F(QuickLook, ThumbnailFitsTheDesignInto600PointsFlatOnWhite) {
    const std::string file = writeRectangleDesign(dir, "rect.dst");
    ASSERT_FALSE(file.empty());
    VDLDesign design;
    ASSERT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(file)));
    ASSERT_EQ(design.designWidth(), 1000);
    ASSERT_EQ(design.designHeight(), 500);

    Preferences prefs("");  // shaded unless told otherwise: the thumbnail stays flat anyway
    const VDLQLRequestResult r = thumbnail(file);
    EXPECT_TRUE(r.contextCreated && r.flushed && r.released && r.painted);
    EXPECT_EQ(r.size.width, 600);
    EXPECT_EQ(r.size.height, 600);

    const auto fills = recorder.opsOfKind(Kind::FillRect);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].x, 0);
    EXPECT_EQ(fills[0].y, 0);
    EXPECT_EQ(fills[0].w, 600);
    EXPECT_EQ(fills[0].h, 600);
    EXPECT_EQ(fills[0].state.fillColor, (VDLRGBA{1, 1, 1, 1}));

    // 100 mm wide: 600 / 1000 / 1.05 points per unit, the width is the tighter side.
    const double f = 600.0 / 1000.0 / 1.05;
    const auto scales = recorder.opsOfKind(Kind::Scale);
    ASSERT_EQ(scales.size(), 1u);
    EXPECT_DOUBLE_EQ(scales[0].x, f);
    EXPECT_DOUBLE_EQ(scales[0].y, f);

    // The design's bounds land centred in the square: 1000 f wide, 500 f high.
    const auto strokes = recorder.opsOfKind(Kind::Stroke);
    ASSERT_FALSE(strokes.empty());
    const VDLAffine& ctm = strokes[0].state.ctm;
    EXPECT_NEAR(ctm.applyX(design.xMin(), design.yMin()), 300 - 500 * f, 1e-9);
    EXPECT_NEAR(ctm.applyY(design.xMin(), design.yMin()), 300 - 250 * f, 1e-9);
    EXPECT_NEAR(ctm.applyX(design.xMax(), design.yMax()), 300 + 500 * f, 1e-9);
    EXPECT_NEAR(ctm.applyY(design.xMax(), design.yMax()), 300 + 250 * f, 1e-9);
    // Flat, without jumps: no gradients and no dashed lines.
    EXPECT_EQ(recorder.count(Kind::LinearGradient), 0u);
    for (const auto& op : strokes) EXPECT_TRUE(op.state.dash.empty());
    EXPECT_EQ(recorder.state().saveDepth, 0);
}

TEST_F(QuickLook, ThumbnailImageOfASampleIsScaledToTheRequestedPixels) {
    auto image = generator->thumbnailImage(kSamplesDir + "/flower.pes", 128);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 128);
    EXPECT_EQ(image->height(), 128);
    EXPECT_EQ(image->pixel(0, 0), (VDLRGBA{1, 1, 1, 1}));        // white ground
    EXPECT_EQ(image->pixel(127, 127), (VDLRGBA{1, 1, 1, 1}));
    EXPECT_NE(image->pixel(64, 50), (VDLRGBA{1, 1, 1, 1}));       // the flower
}

TEST_F(QuickLook, PreviewPageTextsSwatchesDesignAndFooter) {
    const std::string file = writeRectangleDesign(dir, "rect.dst");
    ASSERT_FALSE(file.empty());
    VDLDesign design;
    ASSERT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(file)));
    ASSERT_FALSE(design.designHoop().has_value());

    Preferences prefs("");
    const VDLQLRequestResult r = preview(file);
    EXPECT_TRUE(r.contextCreated && r.flushed && r.released && r.painted);
    EXPECT_EQ(r.size.width, 800);
    EXPECT_EQ(r.size.height, 600);

    auto single = [&](double y) {
        auto t = textsAt(y);
        return t.empty() ? VDLRecordedOp{} : t.front();
    };
    const VDLRecordedOp version = single(45), size = single(30), stitches = single(15);
    EXPECT_EQ(version.x, 20);
    EXPECT_EQ(version.text, "Version: DST " + VDLFixed(design.designVersion() / 10.0, 1));
    EXPECT_EQ(version.state.fontFamily, "Lucida Grande");
    EXPECT_EQ(version.state.fontSize, 11);
    EXPECT_EQ(version.state.fillColor, (VDLRGBA{0, 0, 0, 1}));
    EXPECT_EQ(size.x, 20);
    EXPECT_EQ(size.text, "Size: 100.0 mm x 50.0 mm");  // no hoop: the short form
    EXPECT_EQ(stitches.x, 20);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(stitches.text, m, std::regex("Stitches: (\\d),(\\d{3}), jump stitches: (\\d+)")))
        << stitches.text;
    EXPECT_EQ(std::stoi(m[1].str() + m[2].str()), design.numberOfStitches());
    EXPECT_EQ(std::stoi(m[3].str()), design.numberOfJumps());

    // The colours line shares the baseline 0 with the footer.
    const auto atZero = textsAt(0);
    ASSERT_EQ(atZero.size(), 2u);
    EXPECT_EQ(atZero[0].x, 20);
    EXPECT_EQ(atZero[0].text, "Colors: 2, different colors: 2");

    const VDLRecordedOp palette = single(580);
    EXPECT_EQ(palette.x, 620);
    EXPECT_EQ(palette.text, design.designPaletteName() + " (internal)");

    // One line per thread, 15 points apart: a swatch in the thread's colour, then the name
    // in black right after it (the recording context measures half the size per character).
    for (int i = 0; i < 2; ++i) {
        const auto line = textsAt(550 - 15 * i);
        ASSERT_EQ(line.size(), 2u) << i;
        const VDLColor& c = design.threads()[size_t(i)].color();
        EXPECT_EQ(line[0].x, 620);
        EXPECT_EQ(line[0].text, "\xE2\x96\x88 ");
        EXPECT_EQ(line[0].state.fillColor, (VDLRGBA{c.red(), c.green(), c.blue(), 1}));
        EXPECT_EQ(line[1].x, 620 + 2 * 5.5);
        EXPECT_EQ(line[1].text, design.threads()[size_t(i)].name());
        EXPECT_EQ(line[1].state.fillColor, (VDLRGBA{0, 0, 0, 1}));
    }

    // The design area: 605 x 525 with the margin, the width binds; drawn shaded by default,
    // inside a saved state.
    const double f = std::min(605.0 / 1000 / 1.05, 525.0 / 500 / 1.05);
    const auto translates = recorder.opsOfKind(Kind::Translate);
    const auto scales = recorder.opsOfKind(Kind::Scale);
    ASSERT_EQ(translates.size(), 1u);
    ASSERT_EQ(scales.size(), 1u);
    EXPECT_DOUBLE_EQ(translates[0].x, 307.5 - 500 * f - design.xMin() * f);
    EXPECT_DOUBLE_EQ(translates[0].y, 332.5 - 250 * f - design.yMin() * f);
    EXPECT_DOUBLE_EQ(scales[0].x, f);
    EXPECT_EQ(translates[0].state.saveDepth, 1);
    EXPECT_GT(recorder.count(Kind::LinearGradient), 0u);
    EXPECT_EQ(recorder.state().saveDepth, 0);

    // Footer: 7 points, right edge 30 points from the page's.
    const VDLRecordedOp& footer = atZero[1];
    EXPECT_EQ(footer.text.rfind("VardelleQuickLook v", 0), 0u) << footer.text;
    EXPECT_NE(footer.text.find(", "), std::string::npos);
    EXPECT_EQ(footer.state.fontSize, 7);
    EXPECT_EQ(footer.state.fontFamily, "Lucida Grande");
    EXPECT_DOUBLE_EQ(footer.x, 800 - 3.5 * double(footer.text.size() - 1) - 30);  // "©" is two bytes
}

TEST_F(QuickLook, PreviewReadsDrawingModeAndUnitFromThePreferencesFile) {
    const std::string file = writeRectangleDesign(dir, "rect.jef");
    ASSERT_FALSE(file.empty());
    VDLDesign design;
    ASSERT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(file)));
    ASSERT_TRUE(design.designHoop().has_value());

    Preferences prefs("<key>DrawFastMode</key><true/><key>MeasurementUnit</key><integer>1</integer>");
    preview(file);
    EXPECT_EQ(recorder.count(Kind::LinearGradient), 0u);  // fast mode: flat
    const auto size = textsAt(30);
    ASSERT_EQ(size.size(), 1u);
    EXPECT_EQ(size[0].text, "Size: 3.94\" x 1.97\", hoop: " + design.hoopName());
}

TEST_F(QuickLook, AFileThatDoesNotImportGivesEmptyPicturesAndALoggedReason) {
    writeBytes(dir.file("bad.dst"), {'n', 'o', 't', ' ', 'a', ' ', 'd', 'e', 's', 'i', 'g', 'n'});
    std::filesystem::create_directories(dir.file("folder.pes"));
    for (const std::string& url : {dir.file("bad.dst"), dir.file("missing.pes"), dir.file("folder.pes"),
                                   dir.file("notes.txt"), std::string("http://example.com/a.dst"),
                                   std::string("file://otherhost/a.dst"), std::string("file:///a%2"), std::string()}) {
        recorder.clear();
        const VDLQLRequestResult t = thumbnail(url);
        EXPECT_TRUE(t.contextCreated && t.flushed && t.released) << url;
        EXPECT_FALSE(t.painted) << url;
        EXPECT_EQ(paintingOps(), 0u) << url;
        EXPECT_FALSE(generator->thumbnailImage(url, 64)) << url;

        recorder.clear();
        testing::internal::CaptureStderr();
        const VDLQLRequestResult p = preview(url);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(p.flushed && p.released) << url;
        EXPECT_FALSE(p.painted) << url;
        EXPECT_EQ(paintingOps(), 0u) << url;
        EXPECT_EQ(log.rfind("Error importing preview-URL=" + url + ": ", 0), 0u) << log;
        EXPECT_FALSE(generator->previewDocument(url, VDLCairoContext::Kind::PDF)) << url;
    }
    // The reader's own message is the reason given.
    testing::internal::CaptureStderr();
    preview(dir.file("bad.dst"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("DST"), std::string::npos);
}

TEST_F(QuickLook, FileURLsArePercentDecoded) {
    std::filesystem::create_directories(dir.file("a b"));
    const std::string file = writeRectangleDesign(dir, "a b/r%.dst");
    ASSERT_FALSE(file.empty());
    std::string url = "file://" + dir.path().string() + "/a%20b/r%25.dst";
    EXPECT_TRUE(thumbnail(url).painted);
    EXPECT_TRUE(thumbnail("file://localhost" + dir.path().string() + "/a%20b/r%25.dst").painted);
}
