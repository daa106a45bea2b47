// Stand-in definitions of the console functions that child programs and the
// clipboard need, for building and testing them before the console session
// joins: each call is only recorded for the tests. Removed when the real
// console session provides these functions.
#include "internal/console_child.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex gLock;
ConsoleChildCalls gCalls{};

} // namespace

void ConsoleRelease() {
    std::lock_guard<std::mutex> guard(gLock);
    gCalls.release++;
}

void ConsoleReacquire() {
    std::lock_guard<std::mutex> guard(gLock);
    gCalls.reacquire++;
}

void ConsolePromptKey(const char* text) {
    std::lock_guard<std::mutex> guard(gLock);
    gCalls.promptKey++;
    std::strncpy(gCalls.lastPrompt, text ? text : "", sizeof gCalls.lastPrompt - 1);
    gCalls.lastPrompt[sizeof gCalls.lastPrompt - 1] = 0;
}

BOOL ConsoleSetTerminalClipboard(const void* bytes, size_t length) {
    std::lock_guard<std::mutex> guard(gLock);
    gCalls.terminalClipboard++;
    size_t n = length < sizeof gCalls.lastClipboard - 1 ? length : sizeof gCalls.lastClipboard - 1;
    if (n) std::memcpy(gCalls.lastClipboard, bytes, n);
    gCalls.lastClipboard[n] = 0;
    gCalls.lastClipboardLength = length;
    // No terminal stands behind the stand-in.
    return FALSE;
}

ConsoleChildCalls ConsolePendingCallsForTest() {
    std::lock_guard<std::mutex> guard(gLock);
    return gCalls;
}

void ConsolePendingResetForTest() {
    std::lock_guard<std::mutex> guard(gLock);
    gCalls = ConsoleChildCalls{};
}
