#include "TestSupport.h"
#include "VDLCairoContext.h"
#include "VDLError.h"
#include "VDLFile.h"
#include "VDLPNG.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLPropertyList.h"
#include "VDLResources.h"
#include "VDLUserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>

TEST(Format, PlaceholdersOfTheMessageTemplates) {
    EXPECT_EQ(VDLFormat("%@ (%@ Version %1.1f)", "rose.dst", "DST", 1.0), "rose.dst (DST Version 1.0)");
    EXPECT_EQ(VDLFormat("%i stitches, %d jumps", 98, -5), "98 stitches, -5 jumps");
    EXPECT_EQ(VDLFormat("(%1.0f, %1.0f, %1.0f)", 204.0, 0.4, 254.5), "(204, 0, 254)");  // half to even
    EXPECT_EQ(VDLFormat("%1.2f|%c|%%", 3.14159, 'x'), "3.14|x|%");
    // Too few arguments: the placeholder stays; unknown conversions pass through.
    EXPECT_EQ(VDLFormat("%@ and %@", "one"), "one and %@");
    EXPECT_EQ(VDLFormat("%q %@", "a"), "%q a");
    EXPECT_EQ(VDLFormat("trailing %"), "trailing %");
}

TEST(Format, FixedIsIndependentOfTheProcessLocale) {
    EXPECT_EQ(VDLFixed(1234.5678, 2), "1234.57");
    EXPECT_EQ(VDLFixed(-0.05, 1), "-0.1");  // -0.05 is just below -0.05 in binary
}

TEST(Localization, StringsTableSyntax) {
    auto t = VDLParseStringsTable(
        "\xEF\xBB\xBF/* comment */\n\"ERROR_11\" = \"Keine Stiche.\";\n// line comment\n"
        "\"QUOTE\" = \"say \\\"hi\\\"\\n\";\n\"BROKEN\" = ;\n\"AFTER\"=\"ok\";");
    EXPECT_EQ(t["ERROR_11"], "Keine Stiche.");
    EXPECT_EQ(t["QUOTE"], "say \"hi\"\n");
    EXPECT_EQ(t.count("BROKEN"), 0u);
    EXPECT_EQ(t["AFTER"], "ok");
}

TEST(Localization, LookupOrderLanguageThenEnglishThenDefault) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "de.lproj");
    std::filesystem::create_directories(dir.path() / "en.lproj");
    writeBytes(dir.file("de.lproj/VDLDesign.strings"), {'"', 'A', '"', '=', '"', 'd', 'e', '"', ';'});
    writeBytes(dir.file("en.lproj/VDLDesign.strings"), {'"', 'B', '"', '=', '"', 'e', 'n', '"', ';'});
    const char* old = std::getenv("VARDELLE_RESOURCES");
    std::string saved = old ? old : "";
    setenv("VARDELLE_RESOURCES", dir.path().c_str(), 1);
    VDLSetLanguage("de");
    EXPECT_EQ(VDLLocalizedString("A", "VDLDesign", "default"), "de");
    EXPECT_EQ(VDLLocalizedString("B", "VDLDesign", "default"), "en");
    EXPECT_EQ(VDLLocalizedString("C", "VDLDesign", "default"), "default");
    EXPECT_EQ(VDLLocalizedString("A", "Missing", "default"), "default");
    VDLSetLanguage("");
    setenv("VARDELLE_RESOURCES", saved.c_str(), 1);
    VDLResetLocalizationCache();
}

TEST(Error, ModelErrorsCarryTheirMessageUnderOneKey) {
    VDLError e;
    EXPECT_FALSE(VDLDesignError(&e, 11, "File holds no stitches."));
    EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_EQ(e.code, 11);
    ASSERT_EQ(e.userInfo.size(), 1u);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "File holds no stitches.");

    VDLError r;
    VDLDesignError(&r, 33, "Unsupported PES version.", true);
    EXPECT_EQ(r.localizedFailureReason(), "Unsupported PES version.");
    EXPECT_TRUE(r.localizedRecoverySuggestion().empty());
    EXPECT_EQ(r.message(), "Unsupported PES version.");

    EXPECT_FALSE(VDLDesignError(nullptr, 11, "no out-parameter"));  // nothing to fill, still fails
}

TEST(File, AtomicWriteReplacesAndKeepsPermissions) {
    TempDir dir;
    const std::string path = dir.file("design.dst");
    ASSERT_TRUE(VDLWriteFileAtomically(path, std::vector<uint8_t>{1, 2, 3}));
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(VDLWriteFileAtomically(path, std::vector<uint8_t>{4, 5}));
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{4, 5}));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(File, FailedWritesPassTheSystemErrorAndLeaveTheOldFile) {
    TempDir dir;
    VDLError e;
    EXPECT_FALSE(VDLWriteFileAtomically(dir.file("missing/folder/x.dst"), std::vector<uint8_t>{1}, &e));
    EXPECT_EQ(e.domain, "posix");
    EXPECT_EQ(e.code, ENOENT);

    std::filesystem::create_directories(dir.path() / "folder.dst");
    EXPECT_FALSE(VDLWriteFileAtomically(dir.file("folder.dst"), std::vector<uint8_t>{1}, &e));
    EXPECT_EQ(e.code, EISDIR);

    if (::geteuid() != 0) {  // root ignores permission bits
        const std::string path = dir.file("keep.dst");
        writeBytes(path, {9, 9});
        ::chmod(dir.path().c_str(), 0555);
        EXPECT_FALSE(VDLWriteFileAtomically(path, std::vector<uint8_t>{1}, &e));
        EXPECT_EQ(e.code, EACCES);
        ::chmod(dir.path().c_str(), 0755);
        EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{9, 9}));
    }
}

TEST(File, ReadingDirectoriesAndMissingFilesFails) {
    TempDir dir;
    std::vector<uint8_t> bytes;
    VDLError e;
    EXPECT_FALSE(VDLReadFile(dir.path().string(), bytes, &e));
    EXPECT_EQ(e.code, EISDIR);
    EXPECT_FALSE(VDLReadFile(dir.file("nothing"), bytes, &e));
    EXPECT_EQ(e.code, ENOENT);
    writeBytes(dir.file("empty"), {});
    EXPECT_TRUE(VDLReadFile(dir.file("empty"), bytes, &e));
    EXPECT_TRUE(bytes.empty());
}

TEST(PropertyList, CoderReadsWhatItWroteAndDefaultsTheRest) {
    VDLPlist root(plist_new_dict());
    VDLCoder c(static_cast<plist_t>(root.get()));
    c.encodeFloat(0.1f, "f");
    c.encodeInt(-5, "i");
    c.encodeBool(true, "b");
    c.encodeString(std::string("Grün"), "s");
    c.encodeString(std::nullopt, "none");
    VDLPlist back = VDLPlistFromXML(VDLPlistToXML(static_cast<plist_t>(root.get())));
    ASSERT_TRUE(back);
    VDLCoder d(static_cast<plist_t>(back.get()));
    EXPECT_EQ(d.decodeFloat("f"), 0.1f);
    EXPECT_EQ(d.decodeInt("i"), -5);
    EXPECT_TRUE(d.decodeBool("b"));
    EXPECT_EQ(d.decodeString("s"), "Grün");
    EXPECT_FALSE(d.containsValueForKey("none"));
    EXPECT_EQ(d.decodeInt("missing"), 0);
    EXPECT_FALSE(d.decodeBool("missing"));
    EXPECT_FALSE(d.decodeString("i").has_value());  // wrong type reads as none
    EXPECT_FALSE(VDLPlistFromXML(std::string("<plist><dict><key>a</key>")));
    // A string with an embedded NUL (hostile file) is cut there instead of aborting.
    const std::string nul("<plist version=\"1.0\"><dict><key>s</key><string>ab\0cd</string></dict></plist>", 71);
    VDLPlist withNul = VDLPlistFromXML(nul);
    ASSERT_TRUE(withNul);
    EXPECT_EQ(VDLCoder(static_cast<plist_t>(withNul.get())).decodeString("s"), "ab");
    EXPECT_FALSE(VDLPlistFromXML(std::string()));
}

TEST(Preferences, ReadFromTheXdgConfigFileAndFollowItsChanges) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(VDLPreferencesPath(), dir.file("vardelle/vardelle.app.plist"));
    EXPECT_FALSE(VDLPreferenceInteger("MeasurementUnit").has_value());

    std::filesystem::create_directories(dir.path() / "vardelle");
    VDLPlist prefs(plist_new_dict());
    plist_dict_set_item(static_cast<plist_t>(prefs.get()), "MeasurementUnit", plist_new_uint(2));
    plist_dict_set_item(static_cast<plist_t>(prefs.get()), "DrawFastMode", plist_new_bool(1));
    ASSERT_TRUE(VDLWritePlistFile(VDLPreferencesPath(), static_cast<plist_t>(prefs.get())));
    EXPECT_EQ(VDLPreferenceInteger("MeasurementUnit"), 2);
    EXPECT_EQ(VDLPreferenceBool("DrawFastMode"), true);

    const std::string text = "not a property list";
    ASSERT_TRUE(VDLWriteFileAtomically(VDLPreferencesPath(), text.data(), text.size() + 0));
    EXPECT_FALSE(VDLPreferenceInteger("MeasurementUnit").has_value());
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

TEST(Resources, EnvironmentFolderComesFirst) {
    TempDir dir;
    const char* old = std::getenv("VARDELLE_RESOURCES");
    std::string saved = old ? old : "";
    setenv("VARDELLE_RESOURCES", dir.path().c_str(), 1);
    EXPECT_EQ(VDLResourceDirectory(), dir.path().string());
    EXPECT_EQ(VDLPathForResource("Brother", "clr", "Brother.clr"), "");
    std::filesystem::create_directories(dir.path() / "Brother.clr");
    writeBytes(dir.file("Brother.clr/Brother.clr"), {'h', '\n'});
    EXPECT_EQ(VDLPathForResource("Brother", "clr", "Brother.clr"), dir.file("Brother.clr/Brother.clr"));
    setenv("VARDELLE_RESOURCES", saved.c_str(), 1);
    unsetenv("VARDELLE_RESOURCES");
    // Without the variable a test binary in the build tree falls back to the source resources.
    EXPECT_TRUE(std::filesystem::exists(VDLResourceDirectory() + "/Undefined.clr/Undefined.clr"));
    setenv("VARDELLE_RESOURCES", saved.c_str(), 1);
}

namespace {

// The pixels of a PNG file read through Cairo's own reader (empty when it refuses the file).
std::vector<uint32_t> readPNGBack(const std::vector<uint8_t>& png) {
    struct Source {
        const std::vector<uint8_t>* bytes;
        size_t at = 0;
    } source{&png};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* src = static_cast<Source*>(closure);
            if (src->at + length > src->bytes->size()) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, src->bytes->data() + src->at, length);
            src->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &source);
    std::vector<uint32_t> pixels;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * stride);
            pixels.insert(pixels.end(), row, row + w);
        }
    }
    cairo_surface_destroy(s);
    return pixels;
}

}  // namespace

// Pictures of every kind of pixel (opaque, clear, part-covered) written by our PNG writer read
// back, through Cairo's own reader, exactly as Cairo's writer's files do; a large picture is
// compressed in two halves and must still be one valid stream.
TEST(PNG, ReadsBackAsCairosOwnFilesDo) {
    const auto readBack = readPNGBack;
    // The last size is kept in memory of our own (large pages): it too starts transparent.
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {37, 11}, {700, 520}, {1200, 900}}) {
        auto ctx = VDLCairoContext::imageContext(w, h);
        ASSERT_TRUE(ctx->ok());
        const uint8_t* fresh = ctx->data();
        EXPECT_TRUE(std::all_of(fresh, fresh + size_t(ctx->stride()) * size_t(h), [](uint8_t b) { return b == 0; }));
        cairo_surface_t* surface = cairo_get_target(ctx->cairo());
        cairo_surface_flush(surface);
        uint32_t seed = 12345;
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface) + y * ctx->stride());
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const uint32_t a = (seed >> 24) % 3 == 0 ? 255u : (seed >> 24) % 3 == 1 ? 0u : (seed >> 16) & 0xff;
                auto c = [&](int shift) { return ((seed >> shift) & 0xff) * a / 255; };
                row[x] = a << 24 | c(0) << 16 | c(8) << 8 | c(4);
            }
        }
        cairo_surface_mark_dirty(surface);
        const std::vector<uint8_t> ours = ctx->outputData();
        ASSERT_FALSE(ours.empty());
        std::vector<uint8_t> cairos;
        cairo_surface_write_to_png_stream(
            surface,
            [](void* closure, const unsigned char* data, unsigned int length) {
                auto* out = static_cast<std::vector<uint8_t>*>(closure);
                out->insert(out->end(), data, data + length);
                return CAIRO_STATUS_SUCCESS;
            },
            &cairos);
        const std::vector<uint32_t> fromOurs = readBack(ours), fromCairos = readBack(cairos);
        ASSERT_EQ(fromOurs.size(), size_t(w) * size_t(h)) << w << " x " << h;
        EXPECT_EQ(fromOurs, fromCairos) << w << " x " << h;
    }
}

// An opaque picture (a thumbnail on white) may be written without its alpha: the same pixels
// come back, also from a picture large enough to be compressed in two halves; one pixel that is
// not opaque keeps the alpha.
TEST(PNG, OpaquePicturesWrittenAsRGBReadBackTheSame) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {37, 11}, {128, 128}, {1200, 900}}) {
        std::vector<uint32_t> pixels(size_t(w) * size_t(h));
        uint32_t seed = 777;
        for (uint32_t& p : pixels) {
            seed = seed * 1664525u + 1013904223u;
            p = 0xff000000u | (seed >> 8);
        }
        const auto* data = reinterpret_cast<const uint8_t*>(pixels.data());
        const std::vector<uint8_t> rgb = VDLEncodePNG(data, w, h, w * 4, {{"Thumb::MTime", "1"}}, true);
        ASSERT_GT(rgb.size(), 26u);
        EXPECT_EQ(rgb[25], 2) << "colour type of " << w << " x " << h;
        EXPECT_EQ(VDLReadPNGText(rgb.data(), rgb.size()), (VDLPNGText{{"Thumb::MTime", "1"}}));
        std::vector<uint32_t> back = readPNGBack(rgb);
        for (uint32_t& p : back) p |= 0xff000000u;  // Cairo reads RGB as RGB24, whose top byte is unused
        EXPECT_EQ(back, pixels) << w << " x " << h;

        pixels[pixels.size() / 2] = 0x80402010u;
        const std::vector<uint8_t> rgba = VDLEncodePNG(data, w, h, w * 4, {}, true);
        ASSERT_GT(rgba.size(), 26u);
        EXPECT_EQ(rgba[25], 6) << "colour type of " << w << " x " << h;
        EXPECT_EQ(readPNGBack(rgba), pixels) << w << " x " << h;
    }
}
