// The drive list from the layer's drive map (a drives file or a mount table
// in a temporary home): its letters, their types, the letter BuildDriveList
// answers and DriveInList.
#include "main/drive_list.h"
#include "posix/drive_fixture.h"
#include "remote/remote_drives.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

namespace {

class DriveList : public DriveMapTest {
  protected:
    void SetUp() override {
        // An empty block-device tree: no disk says it is removable.
        dir.MakeDir("sys/dev/block");
        sysBlock = dir.Sub("sys/dev/block");
    }
    std::string Listed() const {
        std::string letters;
        for (WORD i = 0; i < gDriveCount; i++) letters += char(gDriveLetters[i]);
        return letters;
    }
    std::string Types() const {
        std::string types;
        for (WORD i = 0; i < gDriveCount; i++) types += char('0' + gDriveTypes[i]);
        return types;
    }
};

TEST_F(DriveList, LettersOfTheDrivesFileInLetterOrder) {
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    const std::string a = dir.MakeDir("a"), b = dir.MakeDir("b"), c = dir.MakeDir("c");
    WriteDrivesFile("q: " + a + "\nd: " + b + "\nf: " + c + "\n");
    EXPECT_EQ(RdGetLogicalDrives(), (1u << 3) | (1u << 5) | (1u << 16))
        << "no remote letter is mounted: the layer's mask alone";
    const struct {
        int letter;
        int result;
        const char* what;
    } rows[] = {
        {'D', 'D', "a listed letter"},
        {'f', 'F', "lower case is the same letter"},
        {'Q', 'Q', "the last listed letter"},
        {'E', 0, "a letter between listed ones"},
        {'C', 0, "the current drive when it is not listed"},
        {0, 'C', "no letter: the current drive"},
    };
    for (const auto& row : rows) {
        gDriveCount = 0;
        EXPECT_EQ(BuildDriveList(row.letter), row.result) << row.what;
        EXPECT_EQ(Listed(), "DFQ") << row.what;
    }
    const struct {
        int letter;
        int listed;
    } asks[] = {{'D', 1}, {'d', 1}, {'F', 1}, {'Q', 1}, {'q', 1}, {'C', 0}, {'E', 0}, {'Z', 0}, {0, 0}};
    for (const auto& ask : asks) EXPECT_EQ(DriveInList(ask.letter), ask.listed) << char(ask.letter);
}

TEST_F(DriveList, ARebuildDropsLettersThatWentAway) {
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    const std::string a = dir.MakeDir("a"), b = dir.MakeDir("b");
    WriteDrivesFile("d: " + a + "\ne: " + b + "\n");
    BuildDriveList(0);
    ASSERT_EQ(Listed(), "DE");
    WriteDrivesFile("e: " + b + "\n");
    EXPECT_EQ(BuildDriveList('D'), 0);
    EXPECT_EQ(Listed(), "E");
    EXPECT_EQ(gDriveLetters[1], 0) << "the slot of the dropped letter is cleared";
    EXPECT_EQ(DriveInList('D'), 0);
    // Without the drives file the mount table gives the letters: "/" is C:.
    ::unlink(dir.Sub(".config/quilb/drives").c_str());
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    EXPECT_EQ(BuildDriveList('E'), 0);
    EXPECT_EQ(Listed(), "C");
    EXPECT_EQ(DriveInList('E'), 0);
    // An empty list holds no letter, not even one whose slot was filled.
    gDriveCount = 0;
    EXPECT_EQ(DriveInList('C'), 0);
}

TEST_F(DriveList, EachLetterHasItsDriveType) {
    const std::string cd = dir.MakeDir("cd"), nfs = dir.MakeDir("nfs"), data = dir.MakeDir("data");
    SetMounts({{"/", "ext4", "/dev/vda1"},
               {cd, "iso9660", "/dev/sr0"},
               {nfs, "nfs4", "srv:/x"},
               {data, "xfs", "/dev/vdb1"},
               {"/proc", "proc", "proc"}});
    EXPECT_EQ(BuildDriveList('E'), 'E');
    EXPECT_EQ(Listed(), "CDEF") << "system mounts get no letter";
    // C: and F: are fixed disks: the layer has no storage query that could
    // show them to be external, so they stay fixed (3).
    EXPECT_EQ(Types(), "3543");
}

TEST_F(DriveList, ARemovableDiskIsListedAsRemovable) {
    const std::string usb = dir.MakeDir("usb");
    struct stat st;
    ASSERT_EQ(::stat(usb.c_str(), &st), 0);
    const std::string id = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    dir.Write("sys/block/sdb/removable", "1\n");
    dir.MakeDir("sys/block/sdb/sdb1");
    ASSERT_EQ(::symlink("../../block/sdb/sdb1", dir.Sub("sys/dev/block/" + id).c_str()), 0);
    SetMounts({{usb, "vfat", "/dev/sdb1"}});
    WriteDrivesFile("g: " + usb + "\n");
    EXPECT_EQ(BuildDriveList('G'), 'G');
    EXPECT_EQ(Listed(), "G");
    EXPECT_EQ(Types(), "2");
}

} // namespace
