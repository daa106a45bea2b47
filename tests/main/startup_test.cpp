// The parts of start-up that are plain functions: the message for
// archiver definitions that could not be loaded, and the order in which the
// command-line entries are logged.
#include "archive/archiver_defs.h"
#include "main/startup.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupMessages, ArchiverDefinitionsThatCannotBeLoaded) {
    const struct {
        int status;
        const char* text;
        const char* what;
    } rows[] = {
        {ARCHIVER_DEFS_OK, "", "loaded: silent"},
        {ARCHIVER_DEFS_NO_FILE, "", "no file: silent"},
        {ARCHIVER_DEFS_CANNOT_OPEN,
         "Error [2] loading ARCHIVER.BB2 : its archivers will be disabled (7-Zip still works)\n"
         "[Q:\\tools\\ARCHIVER.BB2] cannot be opened\n"
         "Fix or delete it - please see README.TXT\n\n"
         "Press [Enter] to continue...\n\n",
         "cannot be opened"},
        {ARCHIVER_DEFS_BAD_VERSION,
         "Error [3] loading ARCHIVER.BB2 : its archivers will be disabled (7-Zip still works)\n"
         "[Q:\\tools\\ARCHIVER.BB2] is damaged or lists no archivers\n"
         "Fix or delete it - please see README.TXT\n\n"
         "Press [Enter] to continue...\n\n",
         "an old first line"},
        {ARCHIVER_DEFS_NONE_LISTED,
         "Error [4] loading ARCHIVER.BB2 : its archivers will be disabled (7-Zip still works)\n"
         "[Q:\\tools\\ARCHIVER.BB2] is damaged or lists no archivers\n"
         "Fix or delete it - please see README.TXT\n\n"
         "Press [Enter] to continue...\n\n",
         "no archivers"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ArchiverDefsMessage(row.status, u"Q:\\tools\\ARCHIVER.BB2"), row.text)
            << row.what;
}

TEST(StartupLogOrder, TheFirstEntryIsLoggedLast) {
    using List = std::vector<std::u16string>;
    const struct {
        List entries;
        List order;
        const char* what;
    } rows[] = {
        {{}, {}, "none"},
        {{u"D:"}, {u"D:"}, "one stays"},
        {{u"D:", u"E:"}, {u"E:", u"D:"}, "D: E: logs E: first, D: last"},
        {{u"D:", u"E:", u"Q:\\a"}, {u"E:", u"Q:\\a", u"D:"}, "the rest keep their order"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StartupLogOrder(row.entries), row.order) << row.what;
}

} // namespace
