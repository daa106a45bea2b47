// The archiver definitions: until the definitions file is read, no file is
// found and no archiver is defined.
#include "archiver_defs.h"

#include <string>

ArchiverDef* gCurrentArchiver = nullptr;

namespace {

int gForcedStatus = ARCHIVER_DEFS_OK;
std::u16string gForcedPath;

} // namespace

ArchiverDef* LoadArchiverDefs(int* status, const WCHAR** path) {
    if (gForcedStatus != ARCHIVER_DEFS_OK) {
        *status = gForcedStatus;
        if (path) *path = gForcedPath.c_str();
        return nullptr;
    }
    *status = ARCHIVER_DEFS_NO_FILE;
    if (path) *path = u"";
    return nullptr;
}

void FreeArchiverDefs(ArchiverDef*) {}

void ArchiverDefsSetResultForTest(int status, const WCHAR* path) {
    gForcedStatus = status;
    gForcedPath = path ? path : u"";
}
