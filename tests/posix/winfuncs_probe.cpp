// A small program the tests run to see message boxes, the pseudo windows
// without a terminal and the functions the layer only names, as a real
// program meets them.
//
// Usage: winfuncs_probe REPORT_FILE COMMAND [ARGUMENTS]
//   box TYPE[,CAPTION]...  shows SCREEN, asks each box in turn with the text
//                          "Delete <ESC>[31mit<ESC>[0m?" and reports
//                          "answer=N"; then waits for a key and exits 0
//   windows                reports what the window functions answer
//   missing NAME FILE      with the standard output sent to FILE (so it is
//                          buffered), starts the console, prints "before"
//                          and calls NAME (OpenProcess or
//                          GetModuleFileNameExA)
#include "internal/missing.h"
#include "windows.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int gReport = -1;

void Report(const char* text) {
    std::string line = std::string(text) + "\n";
    if (::write(gReport, line.data(), line.size()) < 0) _exit(4);
}

int gEnumCalls = 0;
BOOL CountWindow(HWND window, LPARAM value) {
    gEnumCalls++;
    char line[64];
    snprintf(line, sizeof line, "enum window=%lx value=%ld", long(uintptr_t(window)), long(value));
    Report(line);
    return TRUE;
}

int Boxes(int argc, char** argv) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (out) {
        SetConsoleCursorPosition(out, {2, 1});
        DWORD written;
        WriteConsoleW(out, u"SCREEN", 6, &written, nullptr);
    }
    Report("ready");
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i];
        size_t comma = arg.find(',');
        std::u16string caption;
        if (comma != std::string::npos)
            for (char c : arg.substr(comma + 1)) caption.push_back(char16_t(c));
        UINT type = UINT(std::strtoul(arg.substr(0, comma).c_str(), nullptr, 16));
        int answer = MessageBoxW(nullptr, u"Delete \x1b[31mit\x1b[0m?", caption.c_str(), type);
        char line[32];
        snprintf(line, sizeof line, "answer=%d", answer);
        Report(line);
    }
    if (!in) return 0;
    INPUT_RECORD r;
    DWORD n;
    while (ReadConsoleInputW(in, &r, 1, &n) && n == 1)
        if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown) break;
    return 0;
}

int Windows() {
    char line[160];
    HWND console = GetConsoleWindow();
    BOOL enumResult = EnumWindows(CountWindow, 42);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    BOOL gui = GetGUIThreadInfo(0, &info);
    snprintf(line, sizeof line, "console=%lx enum=%d calls=%d gui=%d active=%lx focus=%lx",
             long(uintptr_t(console)), enumResult, gEnumCalls, gui,
             long(uintptr_t(info.hwndActive)), long(uintptr_t(info.hwndFocus)));
    Report(line);
    return 0;
}

int CallMissing(const char* name, const char* file) {
    int fd = ::open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || dup2(fd, 1) < 0) return 2;
    GetStdHandle(STD_OUTPUT_HANDLE); // the console is up: the terminal must come back
    printf("before");
    if (std::strcmp(name, "OpenProcess") == 0) OpenProcess(0, FALSE, 1);
    if (std::strcmp(name, "GetModuleFileNameExA") == 0) {
        char buffer[16];
        GetModuleFileNameExA(nullptr, nullptr, buffer, sizeof buffer);
    }
    Report("returned");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0) return 2;
    std::string command = argv[2];
    if (command == "box") return Boxes(argc - 3, argv + 3);
    if (command == "windows") return Windows();
    if (command == "missing" && argc > 4) return CallMissing(argv[3], argv[4]);
    return 2;
}
