// The helpers the layer's families share: whole writes through the write
// wrapper, the parent of a POSIX path, percent-encoding with its limit, and
// UTF-16 as a UTF-8 string.
#include "internal/posix_util.h"
#include "internal/sys.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

namespace {

TEST(WriteWhole, WritesEverythingOrReportsTheFailingWrite) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const std::string text(100000, 'x'); // more than a pipe takes at once
    std::string got;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    });
    EXPECT_EQ(WriteWhole(fds[1], text.data(), text.size()), 0);
    QSysInjectFault(QSYS_WRITE, 1, ENOSPC);
    EXPECT_EQ(WriteWhole(fds[1], "abc", 3), ENOSPC);
    QSysInjectFault(QSYS_WRITE, 1, EINTR);
    EXPECT_EQ(WriteWhole(fds[1], "def", 3), 0) << "an interrupted write is tried again";
    QSysClearFaults();
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    EXPECT_EQ(got, text + "def");
    EXPECT_EQ(WriteWhole(-1, "a", 1), EBADF);
}

TEST(PosixParent, DirectoryPartOfAPath) {
    const struct {
        const char* path;
        const char* parent;
    } rows[] = {
        {"/a/b", "/a"}, {"/a", "/"}, {"name", "."}, {"a/b/c", "a/b"}, {"/", "/"},
    };
    for (const auto& r : rows) EXPECT_EQ(PosixParent(r.path), r.parent) << r.path;
}

TEST(AppendPercentEncoded, KeepsUnreservedBytesAndStopsAtTheLimit) {
    std::string out = "file://";
    AppendPercentEncoded(std::string("/a b/%\xFF-._~Z9\0x", 15), &out);
    EXPECT_EQ(out, "file:///a%20b/%25%FF-._~Z9%00x");
    out.clear();
    AppendPercentEncoded("abc def", &out, 5);
    EXPECT_EQ(out, "abc%20") << "the byte that starts before the limit is written whole";
}

TEST(Utf8String, GivesEscapedBytesBack) {
    const WCHAR text[] = {u'a', 0x00E9, 0xDCFF, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(Utf8String(text), "a\xC3\xA9\xFF\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8String(text, 2), "a\xC3\xA9");
    EXPECT_EQ(Utf8String(text, 0), "");
}

} // namespace
