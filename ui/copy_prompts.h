// The checks the copy and move commands make on a target before a file is
// copied: room on its drive, and whether its volume can hold encrypted
// files.
#pragma once

#include "windows.h"

// 1 when the volume of path can hold encrypted files, or when its
// information cannot be read; else 0. The last volume asked and its answer
// are remembered until ForgetEncryptionVolume.
int VolumeSupportsEncryption(const WCHAR* path);
void ForgetEncryptionVolume();

// 0 when a file of need bytes fits at target (a UNC target is not asked);
// 9990 when it is 4 GiB or more and the target's file system is FAT (named
// FAT..., or VFAT or MSDOS after its mount type); 9997 when
// the drive lacks the room, counting the space of a target file it would
// replace; or the error of the free-space query.
DWORD CheckFreeSpace(const WCHAR* target, LONGLONG need);
