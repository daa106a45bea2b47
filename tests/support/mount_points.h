// The mount points of the running system as /proc/self/mountinfo lists
// them: for tests that need a real directory another file system is
// mounted on (/dev/shm, /dev/pts, ...).
#pragma once

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace qtest {

// A mount point field with the table's octal escapes ("\040") decoded.
inline std::string DecodeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); i++) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The names of the mount points directly below parent ("/dev" gives "shm"
// for "/dev/shm", not "pts" for "/dev/pts/x"), as the mount table of this
// process lists them.
inline std::set<std::string> MountPointsBelow(const std::string& parent) {
    std::set<std::string> names;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    const std::string prefix = parent + "/";
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parentId, device, root, mount;
        if (!(fields >> id >> parentId >> device >> root >> mount)) continue;
        mount = DecodeMountField(mount);
        if (mount.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = mount.substr(prefix.size());
        if (!name.empty() && name.find('/') == std::string::npos) names.insert(name);
    }
    return names;
}

} // namespace qtest
