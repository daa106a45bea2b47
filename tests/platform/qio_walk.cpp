// The pre-order walk shared by the walk program and the benchmark.
#include "qio_walk.h"
#include "platform/read_ahead.h"
#include "ui/error_dialog.h"
#include "ui/ui_test_hook.h"

#include <vector>

QioWalkTotals QioWalkTree(const std::u16string& root, bool readAhead,
                          const std::function<void(const std::u16string&, const DirFileRec*)>& visit) {
    QioWalkTotals totals;
    // The first error is skipped with "Skip same error"; later ones are
    // skipped without asking.
    UiScriptAnswers({'s'});
    if (readAhead) qioPrefetchBranch(root.c_str());
    std::vector<std::u16string> stack{root};
    while (!stack.empty()) {
        const std::u16string dir = std::move(stack.back());
        stack.pop_back();
        const std::u16string pattern =
            u"\\\\?\\" + dir + (dir.back() == u'\\' ? u"" : u"\\") + u"*.*";
        DirFileRec* files = nullptr;
        DirSubdirRec* subdirs = nullptr;
        DWORD end = 0;
        const int result = qioReadDirEx(pattern.c_str(), &files, &subdirs, &end);
        totals.directories++;
        if (result < 0) {
            totals.failed++;
            continue;
        }
        for (const DirFileRec* f = files; f; f = f->next) {
            totals.files++;
            totals.bytes += f->size;
        }
        if (visit) visit(dir, files);
        std::vector<std::u16string> children;
        for (const DirSubdirRec* s = subdirs; s; s = s->next)
            if (!(s->data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                s->data.dwReserved0 != FIND_DATA_MOUNT_TAG)
                children.push_back(dir + (dir.back() == u'\\' ? u"" : u"\\") + s->data.cFileName);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
        qioFreeFileList(files);
        qioFreeDirList(subdirs);
    }
    if (readAhead) qioPrefetchEnd();
    UiScriptEnd();
    gSkipSameAction = 0;
    return totals;
}
