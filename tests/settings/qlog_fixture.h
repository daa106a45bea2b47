// What the logged-volume file tests share: the trees as text, so that two
// states compare as a whole, the names of fixture paths as the layer sees
// them, and a fixture that leaves nothing behind.
#pragma once

#include "fixture.h"
#include "internal/sys.h"
#include "qposix_path.h"
#include "settings/path_lists.h"
#include "settings/qlog.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

namespace qlogtest {

using qtest::NarrowText;

inline std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    const int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

// Hex of a text so that a failed comparison of escaped names is readable.
inline std::string Units(std::u16string_view text) {
    std::ostringstream out;
    for (WCHAR u : text) out << std::hex << unsigned(u) << ' ';
    return out.str();
}

// Everything a file carries of the trees, one line per record, in ring
// order from pdiFirst.
inline std::string DumpTrees() {
    std::ostringstream out;
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        out << "disk " << char(disk->cDrive) << " serial " << disk->dwSerial << " label "
            << disk->szLabel << " total " << disk->qwTotalBytes << " saved "
            << NarrowText(disk->wszSavedPath[0]) << '|' << NarrowText(disk->wszSavedPath[1])
            << " dirs " << disk->dwDirEntries << " files " << disk->dwFiles << " tags "
            << disk->dwTagFiles[0] << '/' << disk->dwTagFiles[1] << '\n';
        for (SubdirInfo* d : qtest::DirsInOrder(disk)) {
            out << " dir " << Units(d->pszFullName) << "name " << Units(d->pszName) << "lvl "
                << d->wLevel << " w " << d->wNameWidth << " attr " << d->wAttributes << " exp "
                << int(d->bExpanded) << int(d->bVisible) << int(d->bLogged) << " flags "
                << int(d->bFlags[0]) << ',' << int(d->bFlags[1]) << " dates " << d->dCreated << ','
                << d->tCreated << ',' << d->dWritten << ',' << d->tWritten << ',' << d->dAccessed
                << ',' << d->tAccessed << " files " << d->dwFiles << '\n';
            for (FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++) {
                WCHAR name[TREE_MAX_FULL_NAME + 1];
                GetFileDisplayName(name, e);
                out << "  file " << Units(name) << "short " << Units(e->wszShortName) << "#"
                    << e->wIndex << " size " << e->qwSize << " attr " << e->wAttributes
                    << " flags " << int(e->bFlags[0]) << ',' << int(e->bFlags[1]) << " dates "
                    << e->dCreated << ',' << e->tCreated << ',' << e->dWritten << ','
                    << e->tWritten << ',' << e->dAccessed << ',' << e->tAccessed << '\n';
            }
        }
    }
    return out.str();
}

inline SubdirInfo* Dir(DiskInfo* disk, std::u16string_view relative) {
    for (SubdirInfo* d : qtest::DirsInOrder(disk)) {
        const std::u16string full(d->pszFullName);
        if (full.size() >= 3 && full.substr(3) == relative) return d;
    }
    return nullptr;
}

// Every test starts and ends with nothing logged, the filters, bookmarks
// and remembered values empty, and no hook, fault or scripted answer left.
class QlogFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        qtest::ResetTreeState();
        InitFilterSlots();
        LoggedPathList(11, 0, u"");
        VolumePathMemo(2, nullptr, nullptr);
        VolumePathMemoAlt(2, nullptr, nullptr);
        gInterruptRequested = 0;
    }
    void TearDown() override {
        UiScriptEnd();
        gQlogTreeWritten = nullptr;
        gQlogDirectoryRead = nullptr;
        gQlogCommandLineFile[0] = 0;
        gIniPath[0] = 0;
        QSysClearFaults();
        qtest::ResetTreeState();
        InitFilterSlots();
        VolumePathMemo(2, nullptr, nullptr);
        VolumePathMemoAlt(2, nullptr, nullptr);
    }
};

} // namespace qlogtest
