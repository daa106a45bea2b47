// A drive map built from a fixture mount table, with HOME pointed into a
// temporary directory, restored to the machine's own map afterwards.
#pragma once

#include "../support/fixture.h"
#include "windows.h"
#include "qposix_drives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct FixtureMount {
    std::string mount; // as written in the table (octal escapes allowed)
    std::string type;
    std::string source;
};

// One mountinfo line for a mount point.
inline std::string MountInfoLine(int id, const FixtureMount& m) {
    return std::to_string(id) + " 1 8:1 / " + m.mount + " rw,relatime shared:1 - " + m.type +
           " " + m.source + " rw\n";
}

class DriveMapTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};

    // Installs a mount table; the map is rebuilt on the next question.
    void SetMounts(const std::vector<FixtureMount>& mounts) {
        std::string text;
        int id = 20;
        for (const FixtureMount& m : mounts) text += MountInfoLine(id++, m);
        mountinfo = dir.Write("mountinfo", text);
        DriveMapSetSources(mountinfo.c_str(), sysBlock.empty() ? nullptr : sysBlock.c_str());
    }
    // Replaces the mount table without forgetting the letters given so far.
    void ChangeMounts(const std::vector<FixtureMount>& mounts) {
        std::string text;
        int id = 20;
        for (const FixtureMount& m : mounts) text += MountInfoLine(id++, m);
        dir.Write("mountinfo", text);
        GetLogicalDrives();
    }
    void WriteDrivesFile(const std::string& text) { dir.Write(".config/quilb/drives", text); }
    void TearDown() override { DriveMapSetSources(nullptr, nullptr); }

    std::string mountinfo;
    std::string sysBlock;
};

inline std::string Narrow(const WCHAR* s) {
    std::string out;
    for (; *s; s++) out += *s < 0x80 ? static_cast<char>(*s) : '?';
    return out;
}

inline std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
