// The thread side file: where it lives, what it holds, and when it replaces a design's threads.
#include "TestSupport.h"
#include "VDLColorList.h"
#include "VDLDesign.h"
#include "VDLPropertyList.h"
#include "VDLThreadFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::vector<VDLThread> sampleThreads() {
    return {VDLThread(VDLColor(0.1, 0.2, 0.3), "Blue Blush", "1004", "Madeira Rayon", "Madeira Rayon"),
            VDLThread(VDLColor(1, 0.5, 0), "Individual color (255, 128, 0)", "", "", ""),
            VDLThread(VDLColor(0, 0, 0), "Black & <white> \"ü\"", "1", "Undefined", "Undefined")};
}

VDLDesign designWithThreads(size_t n) {
    VDLDesign d;
    for (size_t i = 0; i < n; ++i) d.threads().emplace_back(std::to_string(i + 1), "Undefined");
    return d;
}

void writeText(const std::string& path, const std::string& text) { writeBytes(path, {text.begin(), text.end()}); }

std::string plistDocument(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// A keyed archive of an RGB colour, as the older thread files kept it under "color".
std::string archivedColorData(const std::string& components, const char* key = "NSRGB") {
    plist_t archive = plist_new_dict();
    plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(archive, "$version", plist_new_uint(100000));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(archive, "$top", top);
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t color = plist_new_dict();
    plist_dict_set_item(color, "NSColorSpace", plist_new_uint(1));
    plist_dict_set_item(color, key, plist_new_data(components.c_str(), components.size() + 1));
    plist_array_append_item(objects, color);
    plist_dict_set_item(archive, "$objects", objects);
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(archive, &bin, &len);
    std::string out(bin, len);
    std::free(bin);
    plist_free(archive);
    return out;
}

std::string olderEntry(const std::string& colorData, const std::string& key, const std::string& palette) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "name", plist_new_string("Old"));
    plist_dict_set_item(dict, "key", plist_new_string(key.c_str()));
    plist_dict_set_item(dict, "palette", plist_new_string(palette.c_str()));
    plist_dict_set_item(dict, "paletteName", plist_new_string(palette.c_str()));
    plist_dict_set_item(dict, "red", plist_new_real(0.0));  // ignored without version 2
    plist_dict_set_item(dict, "color", plist_new_data(colorData.data(), colorData.size()));
    plist_t array = plist_new_array();
    plist_array_append_item(array, dict);
    std::string xml = VDLPlistToXML(array);
    plist_free(array);
    return xml;
}

std::optional<std::vector<VDLThread>> parse(const std::string& text) {
    return VDLThreadsFromThreadFileData({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

}  // namespace

TEST(ThreadFile, LivesBesideTheDesignWithItsExtensionReplaced) {
    EXPECT_EQ(VDLThreadFileURLForDesign(VDLURL::fileURLWithPath("/a/b/Rose.DST")).path(), "/a/b/Rose.threads");
    EXPECT_EQ(VDLThreadFileURLForDesign(VDLURL::fileURLWithPath("/a/rose.jef+")).path(), "/a/rose.threads");
    EXPECT_EQ(VDLThreadFileURLForDesign(VDLURL::fileURLWithPath("/a/my.rose.pes")).path(), "/a/my.rose.threads");
    EXPECT_EQ(VDLThreadFileURLForDesign(VDLURL::fileURLWithPath("/a/rose")).path(), "/a/rose.threads");
}

TEST(ThreadFile, WritesVersion2EntriesInSinglePrecision) {
    const std::string xml = VDLThreadFileDataForThreads(sampleThreads());
    VDLPlist root = VDLPlistFromXML(xml);
    ASSERT_TRUE(root);
    ASSERT_EQ(plist_get_node_type(root.get()), PLIST_ARRAY);
    ASSERT_EQ(plist_array_get_size(root.get()), 3u);
    plist_t first = plist_array_get_item(root.get(), 0);
    EXPECT_EQ(plist_dict_get_size(first), 8u);
    plist_t version = plist_dict_get_item(first, "threadfileversion");
    ASSERT_EQ(plist_get_node_type(version), PLIST_UINT);
    EXPECT_EQ(VDLPlistInteger(version), 2);
    EXPECT_EQ(VDLPlistString(plist_dict_get_item(first, "key")), "1004");
    EXPECT_EQ(VDLPlistString(plist_dict_get_item(first, "paletteName")), "Madeira Rayon");
    ASSERT_EQ(plist_get_node_type(plist_dict_get_item(first, "green")), PLIST_REAL);
    EXPECT_EQ(VDLPlistReal(plist_dict_get_item(first, "green")), double(0.2f));
    EXPECT_EQ(VDLPlistString(plist_dict_get_item(plist_array_get_item(root.get(), 2), "name")), "Black & <white> \"ü\"");
}

TEST(ThreadFile, RoundTripReplacesThreadsAndResetsTensionAndVisibility) {
    TempDir dir;
    VDLDesign d;
    d.setThreads(sampleThreads());
    EXPECT_TRUE(d.exportThreadsForDesign(dir.url("Rose.DST")));
    ASSERT_TRUE(std::filesystem::exists(dir.file("Rose.threads")));

    VDLDesign r = designWithThreads(3);
    r.threads()[0].setTension(4);
    r.threads()[1].setIsShown(false);
    r.threads()[2].setLength(7);
    ASSERT_TRUE(r.importThreadsForDesign(dir.url("Rose.dst")));
    const auto expected = sampleThreads();
    for (size_t i = 0; i < 3; ++i) {
        const VDLThread& t = r.threads()[i];
        EXPECT_EQ(t.name(), expected[i].name());
        EXPECT_EQ(t.key(), expected[i].key());
        EXPECT_EQ(t.palette(), expected[i].palette());
        EXPECT_EQ(t.paletteName(), expected[i].paletteName());
        EXPECT_EQ(t.color().red(), double(float(expected[i].color().red())));
        EXPECT_EQ(t.color().blue(), double(float(expected[i].color().blue())));
        EXPECT_EQ(t.tension(), 13);
        EXPECT_TRUE(t.isShown());
        EXPECT_EQ(t.length(), 0.0f);
    }

    // Another count: the design keeps its own threads.
    VDLDesign other = designWithThreads(4);
    EXPECT_FALSE(other.importThreadsForDesign(dir.url("Rose.dst")));
    EXPECT_EQ(other.threads()[0].palette(), "Undefined");
    EXPECT_EQ(other.threads().size(), 4u);
}

TEST(ThreadFile, FilesThatAreNotAThreadListAreIgnored) {
    TempDir dir;
    VDLDesign d = designWithThreads(1);
    EXPECT_FALSE(d.importThreadsForDesign(dir.url("none.dst")));  // no file

    const std::string entry =
        "<dict><key>threadfileversion</key><integer>2</integer><key>name</key><string>N</string></dict>";
    const std::string notLists[] = {
        plistDocument("<dict><key>a</key>" + entry + "</dict>"),  // root is a dictionary
        plistDocument("<array>" + entry + "<integer>3</integer></array>"),  // an entry is no dictionary
        "not a property list",
        plistDocument("<array>" + entry),  // cut short
        "",
    };
    for (const auto& text : notLists) {
        writeText(dir.file("bad.threads"), text);
        EXPECT_FALSE(d.importThreadsForDesign(dir.url("bad.pes"))) << text;
        EXPECT_EQ(d.threads()[0].palette(), "Undefined") << text;
        EXPECT_FALSE(parse(text)) << text;
    }
    std::filesystem::create_directory(dir.file("folder.threads"));
    EXPECT_FALSE(d.importThreadsForDesign(dir.url("folder.pes")));
}

TEST(ThreadFile, OlderEntriesTakeTheArchivedColourOrAFallback) {
    auto decoded = parse(olderEntry(archivedColorData("0.25 0.5 0.75"), "x", ""));
    ASSERT_TRUE(decoded);
    EXPECT_EQ((*decoded)[0].color(), VDLColor(0.25, 0.5, 0.75));
    EXPECT_EQ((*decoded)[0].name(), "Old");
    EXPECT_EQ((*decoded)[0].tension(), 13);

    auto grey = parse(olderEntry(archivedColorData("0.5", "NSWhite"), "x", ""));
    ASSERT_TRUE(grey);
    EXPECT_EQ((*grey)[0].color(), VDLColor(0.5, 0.5, 0.5));

    // An archive we cannot decode: the colour of the chart entry it names, else grey 0.8.
    auto fromChart = parse(olderEntry("typedstream garbage", "1000", "Madeira Rayon"));
    ASSERT_TRUE(fromChart);
    const auto chart = VDLColorList::colorListForPalette("Madeira Rayon");
    ASSERT_TRUE(chart && chart->colorWithKey("1000"));
    EXPECT_EQ((*fromChart)[0].color(), *chart->colorWithKey("1000"));
    auto unknown = parse(olderEntry("", "nokey", "Madeira Rayon"));
    ASSERT_TRUE(unknown);
    EXPECT_EQ((*unknown)[0].color(), VDLColor());
}

TEST(ThreadFile, DeleteRemovesOnlyAnExistingFile) {
    TempDir dir;
    VDLDesign d = designWithThreads(1);
    EXPECT_TRUE(d.deleteThreadsFromDesign(dir.url("Rose.dst")));  // nothing there
    d.exportThreadsForDesign(dir.url("Rose.dst"));
    writeText(dir.file("Rose.dst"), "design");
    EXPECT_TRUE(d.deleteThreadsFromDesign(dir.url("Rose.DST")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Rose.threads")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("Rose.dst")));

    std::filesystem::create_directory(dir.file("folder.threads"));
    EXPECT_FALSE(d.deleteThreadsFromDesign(dir.url("folder.dst")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("folder.threads")));

    // Writing into a missing folder is reported: the colours would otherwise be lost unseen.
    EXPECT_FALSE(d.exportThreadsForDesign(dir.url("missing/Rose.dst")));
}

TEST(ThreadFile, ListsNestedBeyondAnyOfOursAreRefusedUnparsed) {
    // An older entry whose archived colour is a binary list 100,000 arrays deep: the colour
    // comes from the chart entry instead.
    std::string deep{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    const uint32_t levels = 100000;
    for (uint32_t i = 0; i < levels; ++i) {
        deep += char(0xA1);
        for (int b = 3; b >= 0; --b) deep += char(((i + 1) >> (8 * b)) & 0xFF);
    }
    deep += "\x51x";
    const size_t table = deep.size();
    for (uint32_t i = 0; i <= levels; ++i)
        for (int b = 3; b >= 0; --b) deep += char(((8 + 5 * i) >> (8 * b)) & 0xFF);
    deep += std::string(6, '\0') + '\x04' + '\x04';
    for (uint64_t v : {uint64_t(levels) + 1, uint64_t(0), uint64_t(table)})
        for (int b = 7; b >= 0; --b) deep += char((v >> (8 * b)) & 0xFF);
    auto fromChart = parse(olderEntry(deep, "1000", "Madeira Rayon"));
    ASSERT_TRUE(fromChart);
    EXPECT_EQ((*fromChart)[0].color(), *VDLColorList::colorListForPalette("Madeira Rayon")->colorWithKey("1000"));

    // A side file 100,000 values deep beside a design: the design keeps its own threads.
    TempDir dir;
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "<array>";
    writeText(dir.file("deep.threads"), plistDocument(text));
    VDLDesign d = designWithThreads(1);
    EXPECT_FALSE(d.importThreadsForDesign(dir.url("deep.dst")));
    EXPECT_EQ(d.threads()[0].palette(), "Undefined");
}
