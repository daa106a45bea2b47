// The drive map: which mount path each of the letters A to Z stands for,
// from the user's drive-letter file (~/.config/quilb/drives) or else from the
// system's mount table, plus the run-time mappings of mounted shares and the
// hook through which the remote-drive layer names the letters it serves.
#pragma once

#include <atomic>

#include "wintypes.h"

// Remote-drive hook: letter -> display text of a drive the remote layer
// serves, or null/empty for none. Installed once by the remote-drive layer;
// called without the drive-map lock.
typedef const WCHAR* (*DriveNameHookFn)(int letter);
extern std::atomic<DriveNameHookFn> gDriveNameHook;

// Mount path of a letter (either case) into out; false when unmapped or when
// out is too small.
bool DriveMapGetMount(int letter, char* out, size_t outSize);
// The letter whose mount path is the longest prefix of posix (followed by
// '/' or the end); "/" counts with prefix length 0.
bool DriveFindForPath(const char* posix, int* letter, size_t* prefixLen);
// Display name of a letter: its run-time mapping's, else the remote hook's.
bool DriveMappedPath(int letter, WCHAR* out, size_t outUnits);

// Run-time mappings (mounted shares). Each change rebuilds the map on the
// next question.
bool DriveMapSet(int letter, const char* posix, const WCHAR* display);
void DriveMapClear(int letter);
bool DriveMapGetPosix(int letter, char* out, size_t outSize);

// Index 0-25 of a root "X:..." whose letter is mapped; a null root means the
// drive of the current directory; -1 for anything else.
int DriveIndexOfRoot(const WCHAR* root);

// Volume serial number of a device: minor ^ (dev >> 32) ^ major * 0x10001.
DWORD DeviceSerialNumber(uint64_t dev);

// Where the map reads the system's state; tests point these at fixtures.
// Null restores the default ("/proc/self/mountinfo", "/sys/dev/block").
// Clears the map and forgets the letters given so far.
void DriveMapSetSources(const char* mountinfo, const char* sysBlockRoot);
