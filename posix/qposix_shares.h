// SMB shares as drive letters: a share given as an smb:// location is
// mounted through the desktop's gio tool (GVfs) and a drive letter is mapped
// onto the local directory GVfs shows it under; the shares this process
// mounted are unmounted when their last letter goes or the process exits.
// Called on the main thread only.
#pragma once

#include "wintypes.h"

#include <cstddef>

// Mounts location (for example "smb://server/share/dir") and maps letter
// (either case) onto it, the location being the letter's display name.
// user (optionally "domain\user" or "domain;user") and password answer
// gio's questions; without a user no question is answered. Returns 0; 15
// for a letter that is not A-Z; 50 when gio is not available; 5 when gio
// asked for something that could not be answered (the caller asks the user
// for a name and password and tries again); 121 when gio did not finish in
// time; 53 when gio failed; 3 when no local directory could be found. On
// 50, 121, 53 and 3 a short text for the user goes into errorText
// (errorCapacity units with the terminator); otherwise it is left empty.
// Any failure leaves the letter unmapped.
DWORD NetShareMount(WCHAR letter, const WCHAR* location, const WCHAR* user, const WCHAR* password,
                    WCHAR* errorText, size_t errorCapacity);

// Removes the share mapping of letter. A share this process mounted is
// unmounted (gio mount -u) unless another letter still maps it; that letter
// then becomes responsible for unmounting it. Letters without a share
// mapping are left alone.
void NetShareUnmapDrive(WCHAR letter);

// The full path of gio, from the absolute elements of PATH ("/usr/bin:/bin"
// when PATH is unset, none when it is set but empty). 1 when found.
int GioFind(char* path, size_t pathSize);

// The answers to gio's "User", "Domain" and "Password" questions.
struct GioAnswers {
    const char* user;
    const char* domain;
    const char* password;
};

// Runs gio with argv (argv[0] "gio") and LC_ALL=C, collecting its output
// and error text into output (capacity bytes with the terminator; when more
// comes, the oldest text is dropped). For "gio mount" (not "mount -u") each
// question is answered once from answers; a question it cannot answer (no
// answers, an unknown one, or one asked again after a refusal) sets
// *refused and ends gio. After the time limit (60 s) gio is told to stop,
// and killed when it does not. Returns gio's exit status, 128 when a signal
// ended it, -2 after the time limit, -1 when gio is missing or cannot be
// started.
int GioRun(char* const* argv, const GioAnswers* answers, char* output, size_t capacity,
           bool* refused);

// The local path GVfs shows location under ("gio info"): 1 with the path in
// out (at most 4095 bytes, beginning with '/'), else 0.
int GioLocalPath(const char* location, char* out, size_t outSize);

// The short message of gio's output for the user: the last line that is not
// empty, without "gio: <location>: " or "mount_smbfs: " in front; the
// default text when there is none. Stored as UTF-16 into out (capacity
// units with the terminator).
void GioErrorText(const char* output, const WCHAR* defaultText, WCHAR* out, size_t capacity);
