// The drive map from the drive-letter file or the mount table, its stability
// across rebuilds, and the drive and volume functions on it.
#include "drive_fixture.h"
#include "qposix_path.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

std::string MountOf(int letter) {
    char out[4096];
    return DriveMapGetMount(letter, out, sizeof out) ? std::string(out) : std::string("-");
}

TEST_F(DriveMapTest, DrivesFileGivesExactlyItsLetters) {
    SetMounts({{"/", "ext4", "/dev/vda1"}, {"/data", "xfs", "/dev/vdb1"}});
    WriteDrivesFile("# my drives\n  d: \t/data  \r\n#e: /x\nbogus line\nf:relative\n");
    EXPECT_EQ(GetLogicalDrives(), 1u << 3);
    EXPECT_EQ(MountOf('D'), "/data");
    EXPECT_EQ(MountOf('C'), "-");
    WCHAR fs[32];
    ASSERT_TRUE(GetVolumeInformationW(u"D:\\", nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_EQ(std::u16string(fs), u"XFS");
}

TEST_F(DriveMapTest, DrivesFileLaterLineWinsAndPathTakesItsMountEntry) {
    SetMounts({{"/", "ext4", "/dev/vda1"}, {"/srv", "btrfs", "/dev/vdc"}});
    WriteDrivesFile("x: /first\nX: /srv/media/\n");
    EXPECT_EQ(GetLogicalDrives(), 1u << 23);
    EXPECT_EQ(MountOf('x'), "/srv/media"); // trailing slash dropped
    WCHAR dev[64];
    EXPECT_EQ(QueryDosDeviceW(u"X:", dev, 64), 10u);
    EXPECT_EQ(std::u16string(dev), u"/dev/vdc");
}

TEST_F(DriveMapTest, AutomaticMapSkipsSystemMountsAndBindMounts) {
    SetMounts({
        {"/", "ext4", "/dev/vda1"},
        {"/proc", "proc", "proc"},
        {"/home", "ext4", "/dev/vda2"},
        {"/boot/efi", "vfat", "/dev/vda3"},
        {"/run/user/1000", "tmpfs", "tmpfs"},
        {"/run/lock", "ext4", "/dev/x"},
        {"/snap/core/1", "squashfs", "/dev/loop0"},
        {"/devices", "ext4", "/dev/vda5"}, // "/dev" is a plain text prefix
        {"/run/media/user/USB", "vfat", "/dev/sdb1"},
        {"/home", "ext4", "/dev/vda2"}, // bind mount of a lettered mount point
        {"/mnt/my\\040disk", "ext4", "/dev/vda4"},
    });
    EXPECT_EQ(MountOf('C'), "/");
    EXPECT_EQ(MountOf('D'), "/home");
    EXPECT_EQ(MountOf('E'), "/boot/efi");
    EXPECT_EQ(MountOf('F'), "/run/media/user/USB");
    EXPECT_EQ(MountOf('G'), "/mnt/my disk");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6));
    WCHAR dev[64];
    EXPECT_EQ(QueryDosDeviceW(u"C:\\", dev, 64), 11u);
    EXPECT_EQ(std::u16string(dev), u"/dev/vda1");
    EXPECT_EQ(dev[10], 0);
}

TEST_F(DriveMapTest, LettersNeverMoveToAnotherMountPoint) {
    SetMounts({{"/", "ext4", "r"}, {"/a", "ext4", "a"}, {"/b", "ext4", "b"}});
    EXPECT_EQ(MountOf('D'), "/a");
    EXPECT_EQ(MountOf('E'), "/b");
    // /a goes away and /c arrives: /b keeps E, D stays empty, /c takes F.
    ChangeMounts({{"/", "ext4", "r"}, {"/b", "ext4", "b"}, {"/c", "ext4", "c"}});
    EXPECT_EQ(MountOf('D'), "-");
    EXPECT_EQ(MountOf('E'), "/b");
    EXPECT_EQ(MountOf('F'), "/c");
    // /a comes back and gets its old letter.
    ChangeMounts({{"/", "ext4", "r"}, {"/c", "ext4", "c"}, {"/a", "ext4", "a"}, {"/b", "ext4", "b"}});
    EXPECT_EQ(MountOf('D'), "/a");
    EXPECT_EQ(MountOf('E'), "/b");
    EXPECT_EQ(MountOf('F'), "/c");
}

TEST_F(DriveMapTest, RunTimeMappingsOverrideAndArePassedOver) {
    SetMounts({{"/", "ext4", "r"}, {"/a", "ext4", "a"}, {"/share", "cifs", "//srv/x"}});
    ASSERT_TRUE(DriveMapSet('D', "/share/", u"smb://srv/x/"));
    EXPECT_EQ(MountOf('D'), "/share");
    EXPECT_EQ(MountOf('E'), "/a"); // D is held by the share, /share gets no second letter
    EXPECT_EQ(MountOf('F'), "-");
    char posix[64];
    ASSERT_TRUE(DriveMapGetPosix('d', posix, sizeof posix));
    EXPECT_STREQ(posix, "/share");
    WCHAR label[64], fs[16];
    ASSERT_TRUE(GetVolumeInformationW(u"D:\\", label, 64, nullptr, nullptr, nullptr, fs, 16));
    EXPECT_EQ(std::u16string(label), u"smb://srv/x/");
    EXPECT_EQ(std::u16string(fs), u"SMB");
    DriveMapClear('D');
    EXPECT_FALSE(DriveMapGetPosix('D', posix, sizeof posix));
}

TEST_F(DriveMapTest, LongestMountPrefixWins) {
    SetMounts({{"/", "ext4", "r"}, {"/a", "ext4", "a"}, {"/a/b", "ext4", "ab"}});
    struct Row {
        const char* path;
        int letter;
        size_t prefix;
    } rows[] = {
        {"/a/b/c", 'E', 4}, {"/a/b", 'E', 4}, {"/a/bc", 'D', 2}, {"/x", 'C', 0}, {"/", 'C', 0},
    };
    for (const Row& r : rows) {
        int letter = 0;
        size_t prefix = 99;
        ASSERT_TRUE(DriveFindForPath(r.path, &letter, &prefix)) << r.path;
        EXPECT_EQ(letter, r.letter) << r.path;
        EXPECT_EQ(prefix, r.prefix) << r.path;
    }
    int letter;
    size_t prefix;
    EXPECT_FALSE(DriveFindForPath("relative", &letter, &prefix));
}

TEST_F(DriveMapTest, DriveTypes) {
    std::string usb = dir.MakeDir("usb");
    std::string cd = dir.MakeDir("cd");
    std::string nfs = dir.MakeDir("nfs");
    struct stat st;
    ASSERT_EQ(::stat(usb.c_str(), &st), 0);
    // The partition has no "removable" of its own; its disk one level up says 1.
    std::string id = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    dir.Write("sys/block/sdb/removable", "1\n");
    dir.MakeDir("sys/block/sdb/sdb1");
    dir.MakeDir("sys/dev/block");
    ASSERT_EQ(::symlink("../../block/sdb/sdb1", dir.Sub("sys/dev/block/" + id).c_str()), 0);
    sysBlock = dir.Sub("sys/dev/block");
    SetMounts({{"/", "ext4", "r"}, {usb, "vfat", "/dev/sdb1"}, {cd, "iso9660", "/dev/sr0"},
               {nfs, "nfs4", "srv:/x"}});
    struct Row {
        const char16_t* root;
        UINT type;
    } rows[] = {
        {u"D:\\", DRIVE_REMOVABLE}, {u"E:\\", DRIVE_CDROM}, {u"F:\\", DRIVE_REMOTE},
        {u"Q:\\", DRIVE_NO_ROOT_DIR}, {u"\\\\srv\\x", DRIVE_NO_ROOT_DIR},
    };
    for (const Row& r : rows) EXPECT_EQ(GetDriveTypeW(r.root), r.type) << Narrow(r.root);
    EXPECT_EQ(GetDriveTypeA("D:\\ignored"), DRIVE_REMOVABLE);
    // A disk that says 0 is fixed.
    dir.Write("sys/block/sdb/removable", "0\n");
    EXPECT_EQ(GetDriveTypeW(u"D:"), DRIVE_FIXED);
}

TEST_F(DriveMapTest, VolumeInformation) {
    std::string fat = dir.MakeDir("fat");
    SetMounts({{"/", "ext4", "r"}, {fat, "vfat", "/dev/sdc1"}, {"/nowhere-xyz", "", "x"}});
    WCHAR label[4096], fs[32];
    DWORD serial = 0, maxComp = 0, flags = 0;
    ASSERT_TRUE(GetVolumeInformationW(u"D:\\", label, 4096, &serial, &maxComp, &flags, fs, 32));
    EXPECT_EQ(std::u16string(fs), u"VFAT");
    EXPECT_EQ(flags, FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK);
    EXPECT_EQ(std::u16string(label), Wide(fat));
    struct stat st;
    ASSERT_EQ(::stat(fat.c_str(), &st), 0);
    EXPECT_EQ(serial, DeviceSerialNumber(st.st_dev));
    EXPECT_GT(maxComp, 0u);

    ASSERT_TRUE(GetVolumeInformationW(u"E:", nullptr, 0, nullptr, &maxComp, &flags, fs, 32));
    EXPECT_EQ(std::u16string(fs), u"UNKNOWN");
    EXPECT_EQ(maxComp, 255u); // statvfs fails on a path that does not exist
    EXPECT_EQ(flags, 15u);

    SetLastError(0xBEEF);
    EXPECT_FALSE(GetVolumeInformationW(u"D:\\", label, 3, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    SetLastError(0xBEEF);
    EXPECT_FALSE(GetVolumeInformationW(u"Q:\\", label, 64, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    char labelA[4096], fsA[32];
    ASSERT_TRUE(GetVolumeInformationA("D:\\", labelA, 4096, nullptr, nullptr, nullptr, fsA, 32));
    EXPECT_STREQ(fsA, "VFAT");
    EXPECT_EQ(std::string(labelA), fat);
}

TEST(DeviceSerial, MixesMajorAndMinor) {
    EXPECT_EQ(DeviceSerialNumber(makedev(8, 1)), 1u ^ (8u * 0x10001u));
    EXPECT_EQ(DeviceSerialNumber(makedev(0, 0x2A)), 0x2Au);
    EXPECT_NE(DeviceSerialNumber(makedev(8, 1)), DeviceSerialNumber(makedev(8, 2)));
}

TEST_F(DriveMapTest, QueryDosDeviceErrors) {
    SetMounts({{"/", "ext4", ""}});
    WCHAR out[8];
    SetLastError(0);
    EXPECT_EQ(QueryDosDeviceW(u"C:\\x", out, 8), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryDosDeviceW(u"Q:", out, 8), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    // An empty source gives the mount path.
    EXPECT_EQ(QueryDosDeviceW(u"C:", out, 8), 3u);
    EXPECT_EQ(std::u16string(out), u"/");
    EXPECT_EQ(QueryDosDeviceW(u"C:", out, 2), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(DriveMapTest, VolumePathNames) {
    SetMounts({{"/", "ext4", "r"}});
    struct Row {
        const char16_t* in;
        const char16_t* out;
    } rows[] = {
        {u"d:\\x\\y", u"D:\\"},
        {u"\\\\?\\e:\\z", u"E:\\"},
        {u"\\\\srv\\share\\dir\\f", u"\\\\srv\\share\\"},
        {u"\\\\srv\\share", u"\\\\srv\\share\\"},
    };
    for (const Row& r : rows) {
        WCHAR out[64];
        ASSERT_TRUE(GetVolumePathNameW(r.in, out, 64)) << Narrow(r.in);
        EXPECT_EQ(std::u16string(out), r.out);
    }
    WCHAR out[64];
    ASSERT_TRUE(GetVolumePathNameW(u"relative", out, 64));
    EXPECT_EQ(std::u16string(out), u"C:\\");
    SetLastError(0);
    EXPECT_FALSE(GetVolumePathNameW(u"d:\\x", out, 3));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(GetVolumePathNameW(nullptr, out, 64));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GetVolumePathNameW(u"d:", out, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    std::u16string longShare = u"\\\\srv\\" + std::u16string(300, u's') + u"\\x";
    EXPECT_FALSE(GetVolumePathNameW(longShare.c_str(), out, 64));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(DriveMapTest, FreeSpace) {
    SetMounts({{"/", "ext4", "r"}});
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    std::u16string here = u"C:" + Wide(dir.path());
    for (char16_t& c : here)
        if (c == u'/') c = u'\\';
    ASSERT_TRUE(GetDiskFreeSpaceExW(here.c_str(), &freeToCaller, &total, &totalFree));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(freeToCaller.QuadPart, totalFree.QuadPart);
    EXPECT_LE(totalFree.QuadPart, total.QuadPart);
    ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, nullptr, &total, nullptr));
    EXPECT_GT(total.QuadPart, 0u);
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExW(u"C:\\no-such-dir-xyz\\f", &total, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetDiskFreeSpaceExA("Q:\\", &total, nullptr, nullptr));

    DWORD spc = 0, bps = 0, freeC = 0, totalC = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(u"C:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ(bps, 512u);
    EXPECT_GE(spc, 1u);
    EXPECT_GT(totalC, 0u);
    ASSERT_TRUE(GetDiskFreeSpaceA("C:", &spc, nullptr, nullptr, nullptr));
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceW(u"Q:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(DriveMapLive, RootIsDriveCAndNamesItsFileSystem) {
    // The machine's own mount table, read here independently.
    std::ifstream mi("/proc/self/mountinfo");
    std::string line, rootType;
    while (std::getline(mi, line)) {
        char a[64], b[64], c[64], d[4096], mount[4096];
        if (std::sscanf(line.c_str(), "%63s %63s %63s %4095s %4095s", a, b, c, d, mount) != 5)
            continue;
        size_t sep = line.find(" - ");
        if (std::string(mount) == "/" && sep != std::string::npos)
            rootType = line.substr(sep + 3, line.find(' ', sep + 3) - sep - 3);
    }
    ASSERT_FALSE(rootType.empty());
    EXPECT_EQ(MountOf('C'), "/");
    EXPECT_NE(GetLogicalDrives() & (1u << 2), 0u);
    WCHAR fs[64];
    ASSERT_TRUE(GetVolumeInformationW(u"C:\\", nullptr, 0, nullptr, nullptr, nullptr, fs, 64));
    std::string upper;
    for (char ch : rootType) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(Narrow(fs), upper);
    UINT type = GetDriveTypeW(u"C:\\");
    EXPECT_TRUE(type == DRIVE_FIXED || type == DRIVE_REMOVABLE || type == DRIVE_REMOTE) << type;
}

TEST(SetVolumeLabel, IsNotSupported) {
    SetLastError(0);
    EXPECT_FALSE(SetVolumeLabelA("C:\\", "x"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

} // namespace
