// The list of drive letters that can be logged: rebuilt from the logical
// drives (the layer's and the mounted remote letters, plus any letter a
// remembered network connection brings back) with each drive's type.
#include "main/drive_list.h"

#include "platform/system_services.h"
#include "qio.h"
#include "remote/remote_drives.h"

BYTE gDriveLetters[26];
BYTE gDriveTypes[26];
WORD gDriveCount;

namespace {

// The storage-property query of a disk device and the answer's size; the
// answer's byte 6 says whether the device's media can be removed.
constexpr DWORD STORAGE_QUERY_PROPERTY_CODE = 0x002D1400;
constexpr DWORD STORAGE_ANSWER_BYTES = 1024;
constexpr DWORD STORAGE_REMOVABLE_OFFSET = 6;

// The type a fixed drive really has: 8 when its device says that its media
// can be removed (a disk on USB), else 3. A layer that cannot answer the
// query leaves it fixed.
BYTE FixedDriveType(BYTE letter) {
    const WCHAR device[] = {u'\\', u'\\', u'?', u'\\', WCHAR(letter), u':', 0};
    HANDLE handle = RdCreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return DRIVE_FIXED;
    // The query (property 0, standard query) in the first words of the
    // buffer; the answer comes back in the same buffer.
    BYTE answer[STORAGE_ANSWER_BYTES] = {};
    DWORD query[3] = {0, 0, 0};
    DWORD* first = reinterpret_cast<DWORD*>(answer);
    *first = STORAGE_ANSWER_BYTES;
    DWORD returned = 0;
    BYTE type = DRIVE_FIXED;
    if (DeviceIoControl(handle, STORAGE_QUERY_PROPERTY_CODE, query, sizeof query, answer,
                        STORAGE_ANSWER_BYTES, &returned, nullptr) &&
        answer[STORAGE_REMOVABLE_OFFSET] != 0)
        type = 8;
    RdCloseHandle(handle);
    return type;
}

} // namespace

int BuildDriveList(int letter) {
    const DWORD mask = RdGetLogicalDrives();
    gDriveCount = 0;
    for (int i = 0; i < 26; i++) gDriveLetters[i] = gDriveTypes[i] = 0;
    const int wanted = letter >= 'a' && letter <= 'z' ? letter - 32 : letter;
    int result = 0;
    for (int i = 0; i < 26; i++) {
        const BYTE drive = BYTE('A' + i);
        bool listed = (mask >> i) & 1;
        if (!listed) {
            // A remembered connection may bring the letter back.
            const WCHAR name[] = {WCHAR(drive), u':', 0};
            listed = NetAddConnection(name, 0, 1) != 0;
        }
        if (!listed) continue;
        gDriveLetters[gDriveCount++] = drive;
        if (drive == wanted) result = wanted;
    }
    for (WORD i = 0; i < gDriveCount; i++) {
        const char root[] = {char(gDriveLetters[i]), ':', 0};
        BYTE type = BYTE(RdGetDriveTypeA(root));
        if (type == DRIVE_FIXED) type = FixedDriveType(gDriveLetters[i]);
        gDriveTypes[i] = type;
    }
    if (letter == 0) return 'A' + _getdrive() - 1;
    return result;
}

int DriveInList(int letter) {
    const int upper = letter >= 'a' && letter <= 'z' ? letter - 32 : letter;
    for (WORD i = 0; i < gDriveCount && i < 26; i++)
        if (gDriveLetters[i] == upper) return 1;
    return 0;
}
