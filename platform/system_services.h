// Services the drive list, the information screen, the start-up code and
// the commands ask of the system: the network path behind a drive letter,
// network connections and domain membership, special folders, formatting a
// drive, and bringing a system dialog of the program to the front. Where
// this platform lacks what a service needs, the service answers "not
// available" without a message.
#pragma once

#include "windows.h"

// 1 with the network path of drive ("X:") in outPath (at least 1025
// units), else 0 with outPath empty. A letter the layer maps onto an SMB
// share (smb://server/share/dir), or onto a mount whose source is a share
// (//server/share), reports it in UNC form ("\\server\share\dir"); a
// substituted drive (a device path naming another letter and a directory)
// reports that letter's network path followed by the directory. A letter on
// a local file system reports none.
int NetDriveRealPath(const WCHAR* drive, WCHAR* outPath);
// 1 when the system can say whether the machine joined a domain (the name
// into name, the join status into status); 0 when it cannot, always here.
int NetIsDomainMember(WCHAR* name, DWORD* status);
// 1 when remoteName is a remembered connection that is not available
// (checkOnly) or it was connected again; else 0 (always here: the platform
// has no remembered connections).
int NetAddConnection(const WCHAR* remoteName, DWORD unused, int checkOnly);
// The folder of a special folder id (CSIDL) in a static 260-unit buffer;
// empty for an id without a folder or when the system cannot say.
const WCHAR* GetSpecialFolder(int csidl);
// The desktop folder through its item list into outPath (260 units); 1, or
// 0 with outPath empty.
int GetSpecialFolderByIdList(WCHAR* outPath);

// Formats a drive after asking. A and B are formatted without a question;
// the home drive, the system drive and the program's own drive are refused
// ("Quilbora cannot be used to format drive X:"); any other drive asks "Are
// you sure you want to format drive X:" and goes on only on Y. Then the
// QFORMAT.BAT found by the program search runs with the drive ("X:"), or
// the system's format dialog is started. 1 when a format was started, else
// 0. The home and system drives are HOMEDRIVE and SYSTEMDRIVE, or where
// those are unset the drives of HOME and of the root directory.
int FormatDrive(int letter);
// Thread body: the system's format dialog for drive index (0 = A).
DWORD FormatDriveThread(LPVOID driveIndex);

// Brings a system dialog of the program to the front, on this thread or
// (startThread) a new one.
void RaiseDialogWindow(int startThread);
// Thread body: enumerates the windows with RaiseDialogCallback up to 12
// times, 100 ms apart, until the callback stops the enumeration.
DWORD RaiseDialogThread(LPVOID unused);
// Stops the enumeration (FALSE) for the "Disconnect Network Drives" window
// once it has closed, or for a window of processId that is not the
// program's console window, which is activated and brought to the front;
// a window without a title, and any other, continues (TRUE).
BOOL RaiseDialogCallback(HWND window, LPARAM processId);
