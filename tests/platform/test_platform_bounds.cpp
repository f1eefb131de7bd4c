// Property lists, preference files and atomic writes under hostile or unusual input: lists
// nested far deeper than any of ours, special files in place of regular ones, symbolic links.
#include "TestSupport.h"
#include "VDLError.h"
#include "VDLFile.h"
#include "VDLPropertyList.h"
#include "VDLUserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <string>

namespace {

std::string nestedXML(size_t depth, const std::string& open = "<array>", const std::string& close = "</array>") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (size_t i = 0; i < depth; ++i) xml += open;
    xml += "<string>x</string>";
    for (size_t i = 0; i < depth; ++i) xml += close;
    return xml + "</plist>";
}

void putBE(std::vector<uint8_t>& out, uint64_t v, size_t n) {
    for (size_t i = n; i-- > 0;) out.push_back(uint8_t(v >> (8 * i)));
}

// A binary list of DEPTH arrays, each holding the next; the innermost holds a string. With
// FANOUT > 1 every array names the next one FANOUT times (a small file with a huge tree).
std::vector<uint8_t> nestedBinary(size_t depth, size_t fanout = 1) {
    std::vector<uint8_t> out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint64_t> offsets;
    for (size_t i = 0; i < depth; ++i) {
        offsets.push_back(out.size());
        if (fanout < 15) {
            out.push_back(uint8_t(0xA0 | fanout));
        } else {
            out.push_back(0xAF);
            out.push_back(0x12);  // a 4-byte count follows
            putBE(out, fanout, 4);
        }
        for (size_t k = 0; k < fanout; ++k) putBE(out, i + 1, 4);
    }
    offsets.push_back(out.size());
    out.insert(out.end(), {0x51, 'x'});
    const uint64_t table = out.size();
    for (uint64_t o : offsets) putBE(out, o, 4);
    out.insert(out.end(), 6, 0);
    out.push_back(4);  // offset size
    out.push_back(4);  // reference size
    putBE(out, offsets.size(), 8);
    putBE(out, 0, 8);  // top object
    putBE(out, table, 8);
    return out;
}

struct ScopedConfigHome {
    std::string saved;
    bool had;
    explicit ScopedConfigHome(const std::string& dir) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        had = old != nullptr;
        if (old) saved = old;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    ~ScopedConfigHome() {
        if (had) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
};

}  // namespace

TEST(PropertyListBounds, DeepXMLIsRefusedBeforeParsingAndOurDepthsPass) {
    // A hundred thousand levels overflowed the parser's stack; now it is refused unparsed.
    EXPECT_FALSE(VDLPlistFromXML(nestedXML(200000)));
    EXPECT_FALSE(VDLPlistFromXML(nestedXML(100000, "<dict><key>k</key>", "</dict>")));
    EXPECT_FALSE(VDLPlistIsWithinBounds(nestedXML(40).data(), nestedXML(40).size()));
    // Unknown element names nest just the same; unclosed tags still count.
    std::string unknown = "<plist>";
    for (int i = 0; i < 100; ++i) unknown += "<x a='>'>";
    EXPECT_FALSE(VDLPlistIsWithinBounds(unknown.data(), unknown.size()));

    // Depths up to the bound parse; what is in comments, CDATA and empty elements does not nest.
    const std::string deepest = nestedXML(kVDLPlistMaxDepth - 2);
    VDLPlist ok = VDLPlistFromXML(deepest);
    ASSERT_TRUE(ok);
    EXPECT_EQ(plist_get_node_type(static_cast<plist_t>(ok.get())), PLIST_ARRAY);
    std::string commented = "<plist version=\"1.0\"><array>";
    for (int i = 0; i < 200; ++i) commented += "<!-- <array> --><array/><string><![CDATA[<dict>]]></string>";
    commented += "<string>a &lt; b</string></array></plist>";
    EXPECT_TRUE(VDLPlistIsWithinBounds(commented.data(), commented.size()));
    EXPECT_TRUE(VDLPlistFromXML(commented));
    // A stray '<' in text is not taken for a tag.
    std::string text = "<plist><array>";
    for (int i = 0; i < 100; ++i) text += "< 3 <= ";
    text += "</array></plist>";
    EXPECT_TRUE(VDLPlistIsWithinBounds(text.data(), text.size()));
    // Larger than the reader's bound: refused without parsing.
    EXPECT_FALSE(VDLPlistFromXML(nestedXML(3), 64));
}

TEST(PropertyListBounds, DeepOrExplosiveBinaryListsAreRefused) {
    const std::vector<uint8_t> shallow = nestedBinary(5);
    VDLPlist ok = VDLPlistFromMemory(shallow.data(), shallow.size());
    ASSERT_TRUE(ok);
    EXPECT_EQ(plist_get_node_type(static_cast<plist_t>(ok.get())), PLIST_ARRAY);

    const std::vector<uint8_t> deep = nestedBinary(100000);
    EXPECT_FALSE(VDLPlistIsWithinBounds(deep.data(), deep.size()));
    EXPECT_FALSE(VDLPlistFromMemory(deep.data(), deep.size()));
    // The XML reader never takes a binary list.
    EXPECT_FALSE(VDLPlistFromXML(std::vector<uint8_t>(shallow.begin(), shallow.end())));

    // 20 levels naming the next level 16 times: 300 bytes, 16^20 nodes once expanded.
    const std::vector<uint8_t> explosive = nestedBinary(20, 16);
    EXPECT_LT(explosive.size(), 2000u);
    EXPECT_FALSE(VDLPlistFromMemory(explosive.data(), explosive.size()));

    // A list naming itself, a reference past the objects, a truncated trailer.
    std::vector<uint8_t> cycle = nestedBinary(2);
    cycle[17] = 0;  // the second array's reference (bytes 14-17) now names the first
    EXPECT_FALSE(VDLPlistFromMemory(cycle.data(), cycle.size()));
    std::vector<uint8_t> dangling = nestedBinary(2);
    dangling[12] = 0x7F;  // the first array names object 127 of 3
    EXPECT_FALSE(VDLPlistIsWithinBounds(dangling.data(), dangling.size()));
    std::vector<uint8_t> cut(shallow.begin(), shallow.end() - 1);
    EXPECT_FALSE(VDLPlistFromMemory(cut.data(), cut.size()));
}

TEST(RegularFiles, SpecialFilesAndOversizedFilesAreNotRead) {
    TempDir dir;
    std::vector<uint8_t> bytes;
    VDLError e;
    writeBytes(dir.file("small"), {1, 2, 3});
    ASSERT_TRUE(VDLReadRegularFile(dir.file("small"), bytes, 3, &e));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(VDLReadRegularFile(dir.file("small"), bytes, 2, &e));
    EXPECT_EQ(e.code, EFBIG);
    EXPECT_TRUE(bytes.empty());

    // A FIFO nobody writes to: refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(VDLReadRegularFile(dir.file("fifo"), bytes, 1 << 20, &e));
    EXPECT_EQ(e.code, EINVAL);
    // A device that never ends, also behind a symbolic link.
    EXPECT_FALSE(VDLReadRegularFile("/dev/zero", bytes, 1 << 20, &e));
    std::filesystem::create_symlink("/dev/zero", dir.file("zero-link"));
    EXPECT_FALSE(VDLReadRegularFile(dir.file("zero-link"), bytes, 1 << 20, &e));
    EXPECT_FALSE(VDLReadRegularFile(dir.path().string(), bytes, 1 << 20, &e));
    EXPECT_EQ(e.code, EISDIR);
}

TEST(RegularFiles, PreferencesThatAreNoRegularFileOrTooDeepReadAsNone) {
    TempDir dir;
    ScopedConfigHome home(dir.path().string());
    std::filesystem::create_directories(dir.path() / "vardelle");
    const std::string path = VDLPreferencesPath();

    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(VDLPreferenceInteger("MeasurementUnit").has_value());
    VDLError e;
    EXPECT_FALSE(VDLReadPlistFile(path, &e, kVDLPreferencesMaxBytes));
    std::filesystem::remove(path);

    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_FALSE(VDLPreferenceInteger("MeasurementUnit").has_value());
    std::filesystem::remove(path);

    std::string deep = nestedXML(100000, "<dict><key>MeasurementUnit</key>", "</dict>");
    writeBytes(path, std::vector<uint8_t>(deep.begin(), deep.end()));
    EXPECT_FALSE(VDLPreferenceInteger("MeasurementUnit").has_value());
    EXPECT_FALSE(VDLReadPlistFile(path, &e));
    EXPECT_EQ(e.code, EINVAL);

    const std::string good = "<plist version=\"1.0\"><dict><key>MeasurementUnit</key><integer>2</integer></dict></plist>";
    writeBytes(path, std::vector<uint8_t>(good.begin(), good.end()));
    EXPECT_EQ(VDLPreferenceInteger("MeasurementUnit"), 2);
}

TEST(File, AtomicWriteThroughASymbolicLinkReplacesTheTargetAndKeepsTheLink) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "designs");
    const std::string target = dir.file("designs/rose.dst");
    writeBytes(target, {1, 1, 1});
    ::chmod(target.c_str(), 0604);
    // A relative link, reached through a second link.
    std::filesystem::create_symlink("designs/rose.dst", dir.file("rose-link.dst"));
    std::filesystem::create_symlink(dir.file("rose-link.dst"), dir.file("outer.dst"));

    ASSERT_TRUE(VDLWriteFileAtomically(dir.file("outer.dst"), std::vector<uint8_t>{7, 8}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("outer.dst")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("rose-link.dst")));
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{7, 8}));
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    // The temporary file was written beside the target: nothing is left in either folder.
    const auto entries = std::distance(std::filesystem::directory_iterator(dir.path() / "designs"),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);

    // A link to a file not there yet creates it; a loop of links fails without writing.
    std::filesystem::create_symlink("designs/new.dst", dir.file("new-link.dst"));
    ASSERT_TRUE(VDLWriteFileAtomically(dir.file("new-link.dst"), std::vector<uint8_t>{5}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("new-link.dst")));
    EXPECT_EQ(readBytes(dir.file("designs/new.dst")), (std::vector<uint8_t>{5}));
    std::filesystem::create_symlink("loop-b", dir.file("loop-a"));
    std::filesystem::create_symlink("loop-a", dir.file("loop-b"));
    VDLError e;
    EXPECT_FALSE(VDLWriteFileAtomically(dir.file("loop-a"), std::vector<uint8_t>{5}, &e));
    EXPECT_EQ(e.code, ELOOP);
}
