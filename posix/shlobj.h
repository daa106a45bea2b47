// The shell's special folders (desktop, documents, pictures, application
// data, ...) mapped onto the XDG base and user directories, the item lists
// that name them, the shell allocator, and the shell functions that have no
// meaning on a terminal.
#pragma once

#include "combaseapi.h"
#include "wintypes.h"

// Special folder ids (CSIDL). Only the low byte of an id is looked at; the
// ids with a folder here are listed in SHGetSpecialFolderPathW.
inline constexpr int CSIDL_DESKTOP = 0x0000;
inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_FAVORITES = 0x0006;
inline constexpr int CSIDL_RECENT = 0x0008;
inline constexpr int CSIDL_STARTMENU = 0x000B;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_NETHOOD = 0x0013;
inline constexpr int CSIDL_TEMPLATES = 0x0015;
inline constexpr int CSIDL_APPDATA = 0x001A;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
inline constexpr int CSIDL_INTERNET_CACHE = 0x0020;
inline constexpr int CSIDL_COOKIES = 0x0021;
inline constexpr int CSIDL_WINDOWS = 0x0024;
inline constexpr int CSIDL_SYSTEM = 0x0025;
inline constexpr int CSIDL_PROGRAM_FILES = 0x0026;
inline constexpr int CSIDL_MYPICTURES = 0x0027;
inline constexpr int CSIDL_PROFILE = 0x0028;
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;

// The path of a special folder, as a Windows path (PathFromPosix) of at most
// MAX_PATH units with the terminator, into path:
//   0, 16  the user directory XDG_DESKTOP_DIR (default $HOME/Desktop)
//   5      XDG_DOCUMENTS_DIR (default $HOME/Documents)
//   8      $HOME/.local/share/recently-used
//   21     XDG_TEMPLATES_DIR (default $HOME/Templates)
//   26     $XDG_CONFIG_HOME, else $HOME/.config
//   28     $XDG_DATA_HOME, else $HOME/.local/share
//   32, 33 $XDG_CACHE_HOME, else $HOME/.cache
//   36     /usr      37 /usr/bin      38 /usr/local
//   39     XDG_PICTURES_DIR (default $HOME/Pictures)
//   40     $HOME
// $HOME is the HOME variable, "/" when it is unset or not an absolute path;
// an XDG variable counts only when it holds an absolute path. The user
// directories are read from user-dirs.dirs in the configuration directory.
// With create set, the folder and its missing parents are made (mode 0700;
// failures ignored). FALSE for another id, a null path, or a folder whose
// Windows form does not fit. The window and the last error are not used.
BOOL SHGetSpecialFolderPathW(HWND window, LPWSTR path, int id, BOOL create);

// An item list: items of cb bytes (cb counting itself), ended by a 0 cb.
typedef struct _SHITEMID {
    USHORT cb;
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

// The item list of a special folder: 10 bytes from malloc (free it with free
// or the shell allocator): cb 8, the bytes 'q' and 'p', the 32-bit id as
// given, and a 0 cb. S_OK; E_INVALIDARG for a null list (nothing made);
// E_FAIL for an id without a folder (*list set to null); E_OUTOFMEMORY.
HRESULT SHGetSpecialFolderLocation(HWND window, int id, PIDLIST_ABSOLUTE* list);

// The folder of an item list made by SHGetSpecialFolderLocation, as
// SHGetSpecialFolderPathW gives it (MAX_PATH units). FALSE for a null list
// or path, a list of another kind, or a folder that does not fit.
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);

// The shell allocator: one static object whose operations are the C heap.
struct IMalloc;
struct IMallocVtbl {
    // Stores null in *object (when given) and returns E_NOINTERFACE.
    HRESULT (*QueryInterface)(IMalloc* self, REFIID iid, void** object);
    // The object is never freed: both return 1.
    ULONG (*AddRef)(IMalloc* self);
    ULONG (*Release)(IMalloc* self);
    void* (*Alloc)(IMalloc* self, SIZE_T size);                // malloc
    void* (*Realloc)(IMalloc* self, void* block, SIZE_T size); // realloc
    void (*Free)(IMalloc* self, void* block);                  // free
    SIZE_T (*GetSize)(IMalloc* self, void* block);             // unknown: all ones
    int (*DidAlloc)(IMalloc* self, void* block);               // unknown: -1
    void (*HeapMinimize)(IMalloc* self);                       // nothing
};
struct IMalloc {
    const IMallocVtbl* lpVtbl;
    // Calls through the table, for code written against the C++ form.
    HRESULT QueryInterface(REFIID iid, void** object) {
        return lpVtbl->QueryInterface(this, iid, object);
    }
    ULONG AddRef() { return lpVtbl->AddRef(this); }
    ULONG Release() { return lpVtbl->Release(this); }
    void* Alloc(SIZE_T size) { return lpVtbl->Alloc(this, size); }
    void* Realloc(void* block, SIZE_T size) { return lpVtbl->Realloc(this, block, size); }
    void Free(void* block) { lpVtbl->Free(this, block); }
    SIZE_T GetSize(void* block) { return lpVtbl->GetSize(this, block); }
    int DidAlloc(void* block) { return lpVtbl->DidAlloc(this, block); }
    void HeapMinimize() { lpVtbl->HeapMinimize(this); }
};
typedef IMalloc* LPMALLOC;

// Hands out the shell allocator: S_OK; E_INVALIDARG for a null out pointer.
HRESULT SHGetMalloc(LPMALLOC* allocator);

// SHAddToRecentDocs forms of the item.
inline constexpr UINT SHARD_PIDL = 0x1;
inline constexpr UINT SHARD_PATHW = 0x3;
// Keeps no list of recent documents: does nothing.
void SHAddToRecentDocs(UINT flags, LPCVOID item);

// SHFormatDrive answers.
inline constexpr DWORD SHFMT_ERROR = 0xFFFFFFFFu;
inline constexpr DWORD SHFMT_CANCEL = 0xFFFFFFFEu;
inline constexpr DWORD SHFMT_NOFORMAT = 0xFFFFFFFDu;
// Never formats anything: returns SHFMT_ERROR at once.
DWORD SHFormatDrive(HWND window, UINT drive, UINT formatId, UINT options);
