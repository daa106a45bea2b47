// File names are data, never shell text or options: names with quotes, $,
// backquotes, ';', '|', '&', '>', newlines, tabs, blanks, a leading '-',
// backslashes and wildcards go through every route that builds a shell line
// or an argument vector. No route may run the command hidden in a name (it
// would create the probe file), and each must reach the named file.
#include "process_support.h"

#include "clipboardapi.h"
#include "internal/process.h"
#include "qposix_process.h"
#include "qposix_shares.h"
#include "shellexec.h"

using qproc::Exists;
using qproc::N;
using qproc::U;

namespace {

struct Hostile {
    const char* what;
    std::string name;
};

const Hostile kNames[] = {
    {"a double quote", "x\"y"},
    {"quotes around a command", "\" ; touch probe ; \""},
    {"command substitution", "$(touch probe)"},
    {"backquotes", "`touch probe`"},
    {"a semicolon", "a;touch probe"},
    {"a pipe", "a|touch probe"},
    {"a newline", "a\ntouch probe"},
    {"ampersands", "a&touch probe&"},
    {"a redirection", ">probe"},
    {"single quotes around a command", "it's'; touch probe; '"},
    {"blanks, one trailing", "two  spaces "},
    {"a tab", "a\tb"},
    {"a leading dash", "-rf x"},
    {"a backslash", "back\\slash"},
    {"wildcards", "*.t?t"},
    {"parentheses", "(touch probe)"},
    {"a variable", "${IFS}x$HOME"},
};

// A command-line argument quoted as Windows reads it back.
std::u16string QuoteArgument(const std::u16string& a) {
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (WCHAR c : a) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"')
            out.append(backslashes * 2 + 1, u'\\');
        else
            out.append(backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, u'\\');
    return out + u"\"";
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

class HostileNameTest : public qproc::ChildTest {
  protected:
    void SetUp() override {
        ChildTest::SetUp();
        char buf[4096];
        oldCwd = ::getcwd(buf, sizeof buf) ? buf : "/";
        // Whatever a name would run, it would run here.
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
        probe = dir.Sub("probe");
        tools.Add("xdg-open", "xdg-open");
        tools.Add("gio", "gio");
        tools.AddClipboardTools({"xclip"});
        Script("copy.sh", "cat < \"$1\" > \"$2\"\n");
    }
    void TearDown() override {
        (void)!::chdir(oldCwd.c_str());
        ChildTest::TearDown();
    }
    std::string Out() {
        std::string text = qtest::ReadFile(dir.Sub("out"));
        ::unlink(dir.Sub("out").c_str());
        return text;
    }
    std::string oldCwd, probe;
    qproc::StubTools tools;
    qtest::ScopedEnv path{"PATH", (tools.bin() + ":/usr/bin:/bin").c_str()};
    qtest::ScopedEnv display{"DISPLAY", ":9"};
    qtest::ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
};

TEST_F(HostileNameTest, ShellLines) {
    for (const Hostile& h : kNames) {
        std::string content = std::string("content of ") + h.what;
        dir.Write(h.name, content);
        std::u16string file = Q(h.name);
        // Where a path ends is read from the line alone: a quoted path at
        // the next double quote, an unquoted one at a blank, tab, '|', '&',
        // ';', '<', '>', '(', ')' or quote. A name holding one of these
        // cannot stand in that form, and a caller never writes it so; every
        // form that can carry the name must reach it and run nothing else.
        const bool quotable = h.name.find('"') == std::string::npos;
        const bool bare = h.name.find_first_of(" \t|&;<>()\"'") == std::string::npos;
        struct Route {
            const char* what;
            bool carries;
            std::u16string line;
        };
        const Route routes[] = {
            {"quoted", quotable, u"cat \"" + file + u"\" > Q:\\out"},
            {"unquoted", bare, u"cat " + file + u" > Q:\\out"},
            {"after '='", bare, u"f=" + file + u"; cat \"$f\" > Q:\\out"},
            {"quoted after '='", quotable, u"f=\"" + file + u"\"; cat \"$f\" > Q:\\out"},
            {"after '<'", bare, u"cat <" + file + u" >Q:\\out"},
        };
        for (const Route& r : routes) {
            if (!r.carries) continue;
            EXPECT_EQ(ShellRunCommand(r.line.c_str(), FALSE), 0) << h.what << ", " << r.what;
            EXPECT_EQ(Out(), content) << h.what << ", " << r.what;
            EXPECT_FALSE(Exists(probe)) << h.what << ", " << r.what;
            ::unlink(probe.c_str());
        }
        ::unlink(dir.Sub(h.name).c_str());
    }
}

TEST_F(HostileNameTest, ArgumentVectors) {
    std::string ranLog = tools.state() + "/ran";
    for (const Hostile& h : kNames) {
        std::string content = std::string("content of ") + h.what;
        std::string full = dir.Write(h.name, content);

        // CreateProcessW: the name as a quoted Windows argument.
        std::u16string line = u"Q:\\copy.sh " + QuoteArgument(Q(h.name)) + u" " + U(dir.Sub("out"));
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, nullptr, &pi))
            << h.what;
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 0u) << h.what;
        EXPECT_EQ(Out(), content) << h.what << ", CreateProcessW";

        // A document opened with xdg-open gets the path as one argument.
        size_t before = tools.Calls("xdg-open").size();
        EXPECT_EQ(ShellExecuteW(nullptr, nullptr, Q(h.name).c_str(), nullptr, nullptr, 1),
                  reinterpret_cast<HINSTANCE>(33))
            << h.what;
        for (int i = 0; i < 500 && tools.Calls("xdg-open").size() == before; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto opened = tools.Calls("xdg-open");
        ASSERT_EQ(opened.size(), before + 1) << h.what;
        EXPECT_EQ(opened.back().args, (std::vector<std::string>{"xdg-open", full})) << h.what;

        // The same name as an executable run with the name as parameter.
        std::string exe = h.name + ".run";
        Script(exe, "printf '%s|%s' \"$0\" \"$1\" > \"$QSTUB_STATE/ran\"\n");
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        std::u16string exeFile = Q(exe), parameters = QuoteArgument(U(h.name));
        info.lpFile = exeFile.c_str();
        info.lpParameters = parameters.c_str();
        ASSERT_TRUE(ShellExecuteExW(&info)) << h.what;
        EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
        CloseHandle(info.hProcess);
        EXPECT_EQ(qtest::ReadFile(ranLog), dir.Sub(exe) + "|" + h.name) << h.what;

        // A file list on the clipboard names the file exactly.
        ASSERT_TRUE(OpenClipboard(nullptr));
        std::u16string list = Q(h.name) + u'\0' + u'\0';
        HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * 2);
        auto* header = static_cast<DROPFILES*>(GlobalLock(block));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        std::memcpy(header + 1, list.data(), list.size() * 2);
        SetClipboardData(CF_HDROP, block);
        CloseClipboard();
        auto copied = tools.Calls("xclip");
        ASSERT_FALSE(copied.empty());
        std::string uri = copied.back().input;
        ASSERT_EQ(uri.substr(0, 7), "file://") << h.what;
        EXPECT_EQ(PercentDecode(uri.substr(7, uri.size() - 9)), full) << h.what;
        EXPECT_EQ(uri.substr(0, uri.size() - 2).find_first_of(" \n\"$`;|&'"), std::string::npos)
            << h.what;

        // An SMB location reaches gio as one argument.
        std::string location = "smb://host/" + h.name;
        WCHAR error[100];
        EXPECT_EQ(NetShareMount('H', U(location).c_str(), nullptr, nullptr, error, 100),
                  ERROR_SUCCESS)
            << h.what;
        auto gio = tools.Calls("gio");
        ASSERT_GE(gio.size(), 2u);
        EXPECT_EQ(gio[gio.size() - 2].args, (std::vector<std::string>{"gio", "mount", location}))
            << h.what;
        NetShareUnmapDrive('H');

        EXPECT_FALSE(Exists(probe)) << h.what;
        ::unlink(probe.c_str());
        ::unlink(full.c_str());
        ::unlink(dir.Sub(exe).c_str());
    }
}
