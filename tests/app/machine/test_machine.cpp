// The machine catalogue and its folder rules, on paths below a volume mounted anywhere.
#include "VDLMachine.h"

#include <gtest/gtest.h>

namespace {
const std::string kMount = "/media/anna/STICK";

VDLMachine machine(int ident) {
    auto m = VDLMachine::machineWithIdent(ident);
    EXPECT_TRUE(m.has_value()) << ident;
    return *m;
}
}  // namespace

TEST(Machine, CatalogueSizesAndTexts) {
    EXPECT_FALSE(VDLMachine::machineWithIdent(-1));
    EXPECT_FALSE(VDLMachine::machineWithIdent(9));
    for (int32_t ident : VDLMachine::allIdents()) {
        const VDLMachine m = machine(ident);
        EXPECT_EQ(m.ident(), ident);
        EXPECT_EQ(m.allowedFileSystems(),
                  (std::vector<std::string>{"MS-DOS (FAT12)", "MS-DOS (FAT16)", "MS-DOS (FAT32)"}));
        EXPECT_FALSE(m.allowsFileSystem("MS-DOS"));
        EXPECT_FALSE(m.allowsFileSystem("ext4"));
    }
    EXPECT_EQ(machine(1).description(),
              "Ident: 1, Formats: ( JEF ), max. Stitches: 64000, Filesystems: ( MS-DOS (FAT12), MS-DOS (FAT16), "
              "MS-DOS (FAT32) ), Root: ( EMB ), Default: /EMB/EmbF/, Subfolders: (1 - 1), max. Files: 100");
    EXPECT_NE(machine(0).description().find("Root: (null), Default: /, Subfolders: (0 - -1), max. Files: -1"),
              std::string::npos);

    // Stitches plus threads against the limit.
    EXPECT_TRUE(machine(1).acceptsElementCount(64000));
    EXPECT_FALSE(machine(1).acceptsElementCount(64001));
    EXPECT_TRUE(machine(4).acceptsElementCount(64001));
    EXPECT_FALSE(machine(4).acceptsElementCount(100001));
    EXPECT_TRUE(machine(0).acceptsElementCount(50'000'000));

    EXPECT_EQ(machine(0).rootFoldersText(), "-");
    EXPECT_EQ(machine(1).rootFoldersText(), "EMB");
    EXPECT_EQ(machine(4).rootFoldersText(), "EMB_FILE, PC_LINK");
    EXPECT_EQ(machine(5).rootFoldersText(), "EmbF5 ... EmbF16");
    EXPECT_EQ(machine(0).subfolderRangeText(), "-");
    EXPECT_EQ(machine(1).subfolderRangeText(), "1");
    EXPECT_EQ(machine(2).subfolderRangeText(), "unsupported");

    // New folders only where the machine offers a choice of them.
    EXPECT_TRUE(machine(1).canCreateFolders());
    EXPECT_TRUE(machine(4).canCreateFolders());
    EXPECT_TRUE(machine(5).canCreateFolders());
    EXPECT_FALSE(machine(2).canCreateFolders());
    EXPECT_FALSE(machine(0).canCreateFolders());
    EXPECT_TRUE(machine(7).allowsFileType("dst"));
    EXPECT_FALSE(machine(8).allowsFileType("DST"));
}

TEST(Machine, ValidTargetsBelowTheMountPoint) {
    const VDLMachine one = machine(1);
    EXPECT_TRUE(one.isValidFilename(kMount + "/EMB/EmbF/A.JEF", kMount, 0));
    EXPECT_TRUE(one.isValidFilename(kMount + "/EMB/EmbF/rose.jef", kMount, 99));
    EXPECT_TRUE(one.isValidFilename(kMount + "/EMB/MyFolder/A.JEF", kMount, 0));  // any one folder level
    EXPECT_FALSE(one.isValidFilename(kMount + "/EMB/A.JEF", kMount, 0));          // no folder level
    EXPECT_FALSE(one.isValidFilename(kMount + "/EMB/EmbF/X/A.JEF", kMount, 0));   // two levels
    EXPECT_FALSE(one.isValidFilename(kMount + "/EMB/EmbF/A.PES", kMount, 0));
    EXPECT_FALSE(one.isValidFilename(kMount + "/EMB/EmbF/JEF", kMount, 0));       // no extension
    EXPECT_FALSE(one.isValidFilename(kMount + "/Other/EmbF/A.JEF", kMount, 0));
    EXPECT_FALSE(one.isValidFilename(kMount + "/A.JEF", kMount, 0));
    // Another volume, a name that merely starts like the mount point, a way out through "..".
    EXPECT_FALSE(one.isValidFilename("/media/anna/OTHER/EMB/EmbF/A.JEF", kMount, 0));
    EXPECT_FALSE(one.isValidFilename("/media/anna/STICK2/EMB/EmbF/A.JEF", kMount, 0));
    EXPECT_FALSE(one.isValidFilename(kMount + "/EMB/../../OTHER/EMB/EmbF/A.JEF", kMount, 0));
    EXPECT_TRUE(one.isValidFilename(kMount + "//EMB/./EmbF/A.JEF", kMount + "/", 0));

    const VDLMachine two = machine(2);
    EXPECT_TRUE(two.isValidFilename(kMount + "/EmbF5/A.JEF", kMount, 0));
    EXPECT_FALSE(two.isValidFilename(kMount + "/EmbF5/Sub/A.JEF", kMount, 0));
    EXPECT_FALSE(two.isValidFilename(kMount + "/EMB/A.JEF", kMount, 0));

    // A folder holding 100 entries takes no more files, except for the unlimited machine.
    for (int32_t ident = 1; ident <= 8; ++ident) {
        const VDLMachine m = machine(ident);
        const std::string folder = kMount + m.defaultFolder();
        EXPECT_TRUE(m.isValidFilename(folder + "A.JEF", kMount, 99)) << ident;
        EXPECT_FALSE(m.isValidFilename(folder + "A.JEF", kMount, 100)) << ident;
    }
    const VDLMachine zero = machine(0);
    EXPECT_TRUE(zero.isValidFilename(kMount + "/A.DST", kMount, 5000));
    EXPECT_TRUE(zero.isValidFilename(kMount + "/any/depth/here/A.pcs", kMount, 100));
    EXPECT_FALSE(zero.isValidFilename(kMount + "/A.VP3", kMount, 0));
    EXPECT_FALSE(zero.isValidFilename("/home/anna/A.DST", kMount, 0));
}

TEST(Machine, ListedItems) {
    const VDLMachine one = machine(1);
    // The way to the volume stays visible; other volumes do not.
    EXPECT_TRUE(one.shouldShowFilename("/", kMount, true, 3));
    EXPECT_TRUE(one.shouldShowFilename("/media/anna", kMount, true, 2));
    EXPECT_TRUE(one.shouldShowFilename(kMount, kMount, true, 500));
    EXPECT_FALSE(one.shouldShowFilename("/media/anna/OTHER", kMount, true, 1));
    EXPECT_FALSE(one.shouldShowFilename("/media/anna/OTHER/EMB", kMount, true, 1));
    // Only the root folder on the volume, one level below it, and no full folder.
    EXPECT_TRUE(one.shouldShowFilename(kMount + "/EMB", kMount, true, 1));
    EXPECT_FALSE(one.shouldShowFilename(kMount + "/DCIM", kMount, true, 1));
    EXPECT_FALSE(one.shouldShowFilename(kMount + "/notes.txt", kMount, false, 0));
    EXPECT_TRUE(one.shouldShowFilename(kMount + "/EMB/EmbF", kMount, true, 99));
    EXPECT_FALSE(one.shouldShowFilename(kMount + "/EMB/EmbF", kMount, true, 100));
    EXPECT_FALSE(one.shouldShowFilename(kMount + "/EMB/EmbF/Deeper", kMount, true, 0));
    // The designs already in an allowed folder are listed; deeper ones are not.
    EXPECT_TRUE(one.shouldShowFilename(kMount + "/EMB/EmbF/OLD.JEF", kMount, false, 0));
    EXPECT_FALSE(one.shouldShowFilename(kMount + "/EMB/EmbF/Deeper/OLD.JEF", kMount, false, 0));

    const VDLMachine two = machine(2);
    EXPECT_TRUE(two.shouldShowFilename(kMount + "/EmbF5", kMount, true, 10));
    EXPECT_TRUE(two.shouldShowFilename(kMount + "/EmbF5/OLD.JEF", kMount, false, 0));
    EXPECT_FALSE(two.shouldShowFilename(kMount + "/EmbF5/Sub", kMount, true, 0));

    const VDLMachine zero = machine(0);
    EXPECT_TRUE(zero.shouldShowFilename(kMount + "/DCIM/a/b/c", kMount, true, 5000));
    EXPECT_TRUE(zero.shouldShowFilename(kMount + "/notes.txt", kMount, false, 0));
    EXPECT_FALSE(zero.shouldShowFilename("/home/anna", kMount, true, 1));
}
