// Special folders on the XDG base and user directories: the folder of each
// id, what user-dirs.dirs lines give, HOME and XDG variables that are unset,
// empty or relative, making a folder, the bound of the output, the item
// lists and the shell allocator.
#include "fileops_support.h"
#include "internal/shell.h"
#include "shlobj.h"

#include <cstring>

namespace {

using fsops::Exists;
using fsops::Lstat;
using fsops::Win;

// HOME and the XDG directories inside the temporary directory; XDG_DATA_HOME
// and XDG_CACHE_HOME unset unless a test sets them.
class FolderTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::string home = dir.MakeDir("home");
    qtest::ScopedEnv homeVar{"HOME", home.c_str()};
    qtest::ScopedEnv config{"XDG_CONFIG_HOME", dir.Sub("config").c_str()};
    qtest::ScopedEnv data{"XDG_DATA_HOME", nullptr};
    qtest::ScopedEnv cache{"XDG_CACHE_HOME", nullptr};
    void UserDirs(const std::string& text) { dir.Write("config/user-dirs.dirs", text); }

    // The folder of id as SHGetSpecialFolderPathW gives it; "FALSE" when it
    // fails.
    static std::u16string Folder(int id, BOOL create = FALSE) {
        WCHAR out[MAX_PATH];
        if (!SHGetSpecialFolderPathW(nullptr, out, id, create)) return u"FALSE";
        return out;
    }
};

TEST_F(FolderTest, EachIdHasItsFolder) {
    UserDirs("# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
             "XDG_TEMPLATES_DIR=\"/srv/templates\"\n"
             "XDG_PICTURES_DIR=\"Pictures2\"\n");
    qtest::ScopedEnv relativeCache("XDG_CACHE_HOME", "cache");
    struct Row {
        const char* what;
        int id;
        std::string folder; // POSIX; "FALSE" for none
    } rows[] = {
        {"desktop from user-dirs.dirs", 0, home + "/Schreibtisch"},
        {"desktop directory, the same", 16, home + "/Schreibtisch"},
        {"only the low byte counts", 0x8010, home + "/Schreibtisch"},
        {"documents without a line: the default", 5, home + "/Documents"},
        {"recent documents", 8, home + "/.local/share/recently-used"},
        {"templates, an absolute value", 21, "/srv/templates"},
        {"application data is the configuration directory", 26, dir.Sub("config")},
        {"local application data without XDG_DATA_HOME", 28, home + "/.local/share"},
        {"a relative XDG_CACHE_HOME is not used", 32, home + "/.cache"},
        {"cookies: the cache too", 33, home + "/.cache"},
        {"windows", 36, "/usr"},
        {"system", 37, "/usr/bin"},
        {"program files", 38, "/usr/local"},
        {"pictures: a relative value is ignored", 39, home + "/Pictures"},
        {"profile", 40, home},
        {"favorites have no folder", 6, "FALSE"},
        {"start menu has no folder", 11, "FALSE"},
        {"41 has no folder", 41, "FALSE"},
        {"255 has no folder", 0xFF, "FALSE"},
    };
    for (const Row& r : rows) {
        std::u16string want = r.folder == "FALSE" ? u"FALSE" : Win(r.folder);
        EXPECT_EQ(Folder(r.id), want) << r.what;
    }
}

// Without HOME the table's $HOME is "/" (and the user directories' default
// is below the root); a relative or empty HOME counts as unset.
TEST_F(FolderTest, HomeUnsetEmptyOrRelative) {
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/home"}) {
        qtest::ScopedEnv unset("HOME", value);
        qtest::ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
        std::string what = value ? std::string("HOME=\"") + value + "\"" : "HOME unset";
        EXPECT_EQ(Folder(40), Win("/")) << what;
        EXPECT_EQ(Folder(26), Win("/.config")) << what;
        EXPECT_EQ(Folder(28), Win("/.local/share")) << what;
        EXPECT_EQ(Folder(16), Win("/Desktop")) << what;
    }
    // The XDG variables stand without HOME.
    qtest::ScopedEnv unset("HOME", nullptr);
    qtest::ScopedEnv dataHome("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(Folder(28), Win("/srv/data"));
}

TEST_F(FolderTest, UserDirsLines) {
    struct Row {
        const char* what;
        const char* text; // null: no file
        std::string folder;
    } rows[] = {
        {"no file: the default", nullptr, home + "/Desktop"},
        {"$HOME in double quotes", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
         home + "/Schreibtisch"},
        {"a relative value is ignored", "XDG_DESKTOP_DIR=\"Schreibtisch\"\n", home + "/Desktop"},
        {"an absolute value", "XDG_DESKTOP_DIR=\"/data/desk\"\n", "/data/desk"},
        {"without quotes, to the end of the line", "XDG_DESKTOP_DIR=$HOME/a b\n", home + "/a b"},
        {"the last line taken wins",
         "XDG_DESKTOP_DIR=\"/first\"\nXDG_DESKTOP_DIR=\"/second\"\nXDG_DESKTOP_DIR=\"rel\"\n",
         "/second"},
        {"another key that begins the same", "XDG_DESKTOP_DIRS=\"/no\"\n", home + "/Desktop"},
        {"a key further in the line", " XDG_DESKTOP_DIR=\"/no\"\n", home + "/Desktop"},
        {"an escaped quote stays in the value", "XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n",
         home + "/My \"Desk\""},
        {"an escaped backslash", "XDG_DESKTOP_DIR=\"/a\\\\b\"\n", "/a\\b"},
        {"the last line without a line feed", "XDG_DESKTOP_DIR=\"/last\"", "/last"},
        {"no closing quote: to the end of the line", "XDG_DESKTOP_DIR=\"/open\nX=1\n", "/open"},
    };
    for (const Row& r : rows) {
        ::unlink(dir.Sub("config/user-dirs.dirs").c_str());
        if (r.text) UserDirs(r.text);
        std::string out;
        XdgUserDirsRead("XDG_DESKTOP_DIR", "Desktop", &out);
        EXPECT_EQ(out, r.folder) << r.what;
    }
    // Without XDG_CONFIG_HOME the file is read from $HOME/.config.
    qtest::ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    dir.Write("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(Folder(5), Win(home + "/Dokumente"));
}

TEST_F(FolderTest, CreateMakesTheFolderAndItsParents) {
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/deep/er/Docs\"\n");
    EXPECT_EQ(Folder(5, FALSE), Win(home + "/deep/er/Docs"));
    EXPECT_FALSE(Exists(home + "/deep")) << "nothing made without create";
    EXPECT_EQ(Folder(5, TRUE), Win(home + "/deep/er/Docs"));
    for (const char* part : {"/deep", "/deep/er", "/deep/er/Docs"}) {
        struct stat st = Lstat(home + part);
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << part;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << part;
    }
    // An existing folder is left as it is.
    ASSERT_EQ(::chmod((home + "/deep/er/Docs").c_str(), 0755), 0);
    EXPECT_EQ(Folder(5, TRUE), Win(home + "/deep/er/Docs"));
    EXPECT_EQ(Lstat(home + "/deep/er/Docs").st_mode & 0777, 0755u);
}

// A folder whose Windows form needs more than MAX_PATH units is not given,
// and nothing is written past the MAX_PATH units of the output.
TEST_F(FolderTest, OutputBound) {
    std::string longHome = "/" + std::string(300, 'h');
    qtest::ScopedEnv h("HOME", longHome.c_str());
    WCHAR out[MAX_PATH + 16];
    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, out, 40, FALSE));
    for (size_t i = MAX_PATH; i < MAX_PATH + 16; i++)
        EXPECT_EQ(out[i], u'#') << i;
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, nullptr, 40, FALSE));
}

TEST_F(FolderTest, ItemListsAndTheAllocator) {
    UserDirs("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, 16, &list), S_OK);
    ASSERT_NE(list, nullptr);
    const BYTE expected[10] = {8, 0, 'q', 'p', 16, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(list, expected, sizeof expected), 0);
    WCHAR path[MAX_PATH];
    ASSERT_TRUE(SHGetPathFromIDListW(list, path));
    EXPECT_EQ(std::u16string(path), Win(home + "/Schreibtisch"));

    // Freed through the allocator, as the callers do: Free, then Release.
    LPMALLOC allocator = nullptr;
    ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
    ASSERT_NE(allocator, nullptr);
    allocator->Free(list);
    EXPECT_EQ(allocator->Release(), 1u);
    EXPECT_EQ(allocator->AddRef(), 1u);
    void* block = allocator->Alloc(16);
    ASSERT_NE(block, nullptr);
    block = allocator->Realloc(block, 4096);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 4096);
    EXPECT_EQ(allocator->GetSize(block), static_cast<SIZE_T>(-1));
    EXPECT_EQ(allocator->DidAlloc(block), -1);
    allocator->HeapMinimize();
    allocator->lpVtbl->Free(allocator, block);
    void* object = &block;
    EXPECT_EQ(allocator->QueryInterface(IID{}, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(SHGetMalloc(nullptr), E_INVALIDARG);

    // An id without a folder, and lists of another kind.
    list = reinterpret_cast<PIDLIST_ABSOLUTE>(1);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 6, &list), E_FAIL);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 16, nullptr), E_INVALIDARG);
    struct Row {
        const char* what;
        BYTE bytes[10];
    } foreign[] = {
        {"other marker bytes", {8, 0, 'x', 'y', 16, 0, 0, 0, 0, 0}},
        {"another item size", {12, 0, 'q', 'p', 16, 0, 0, 0, 0, 0}},
        {"an id without a folder", {8, 0, 'q', 'p', 6, 0, 0, 0, 0, 0}},
    };
    for (const Row& r : foreign) {
        std::fill(std::begin(path), std::end(path), u'#');
        EXPECT_FALSE(SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(r.bytes), path))
            << r.what;
        EXPECT_EQ(path[0], 0) << r.what;
    }
    EXPECT_FALSE(SHGetPathFromIDListW(nullptr, path));
}

} // namespace
