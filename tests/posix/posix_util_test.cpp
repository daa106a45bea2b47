// The helpers the layer's families share: whole writes through the write
// wrapper, the delays of the system-call wrappers, the parent of a POSIX
// path, percent-encoding with its limit, and UTF-16 as a UTF-8 string.
#include "internal/posix_util.h"
#include "internal/sys.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
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

// A pipe with bytes waiting, so that reads never block on their own.
struct FullPipe {
    int fds[2] = {-1, -1};
    FullPipe() {
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        EXPECT_EQ(::write(fds[1], "0123456789", 10), 10);
    }
    ~FullPipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
};

using Clock = std::chrono::steady_clock;

// Only lower bounds of a delay are asserted: a busy machine can make a call
// slower, never faster.
TEST(QSysCallDelay, ADelayedCallWaitsItsDelayEvenThroughSignals) {
    FullPipe pipe;
    QSysSetCallDelay(QSYS_READ, 150000);
    // A signal without SA_RESTART breaks the sleep again and again.
    struct sigaction sa = {}, old = {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);
    const pthread_t reader = pthread_self();
    std::atomic<bool> done{false};
    std::thread nagger([&] {
        while (!done) {
            pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    char byte = 0;
    errno = 0;
    const auto start = Clock::now();
    const ssize_t n = QSysRead(pipe.fds[0], &byte, 1);
    const auto took = Clock::now() - start;
    const int err = errno;
    done = true;
    nagger.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    QSysClearDelays();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(byte, '0');
    EXPECT_EQ(err, 0) << "the broken sleeps leave no errno behind";
    EXPECT_GE(took, std::chrono::milliseconds(150));
}

// Upper bounds here are far below a delay that would otherwise be waited,
// and far above any machine's time for one call.
TEST(QSysCallDelay, OnlyTheDelayedKindWaitsAndClearingEndsIt) {
    FullPipe pipe;
    const unsigned kHour = 3600u * 1000000u;
    QSysSetCallDelay(QSYS_READ, kHour);
    auto start = Clock::now();
    EXPECT_EQ(QSysWrite(pipe.fds[1], "a", 1), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60)) << "writes are not delayed";
    QSysSetCallDelay(QSYS_READ, 0);
    char byte = 0;
    start = Clock::now();
    EXPECT_EQ(QSysRead(pipe.fds[0], &byte, 1), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60)) << "a delay set to 0 is off";
    QSysSetCallDelay(QSYS_READ, kHour);
    QSysSetCallDelay(QSYS_WRITE, kHour);
    QSysClearDelays();
    start = Clock::now();
    EXPECT_EQ(QSysRead(pipe.fds[0], &byte, 1), 1);
    EXPECT_EQ(QSysWrite(pipe.fds[1], "b", 1), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60)) << "cleared for every kind";
}

TEST(QSysCallDelay, InjectedFaultsCountTheDelayedCallsOnce) {
    FullPipe pipe;
    QSysSetCallDelay(QSYS_READ, 1000);
    QSysInjectFault(QSYS_READ, 2, EIO);
    char bytes[3] = {};
    EXPECT_EQ(QSysRead(pipe.fds[0], &bytes[0], 1), 1) << "the first read runs";
    errno = 0;
    EXPECT_EQ(QSysRead(pipe.fds[0], &bytes[1], 1), -1) << "the second is the armed one";
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(QSysRead(pipe.fds[0], &bytes[2], 1), 1) << "and the fault fires once";
    EXPECT_EQ(bytes[0], '0');
    EXPECT_EQ(bytes[2], '1') << "the failed read took nothing from the pipe";
    EXPECT_EQ(QSysFaultsArmed(), 0u);
    QSysClearDelays();
    QSysClearFaults();
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
