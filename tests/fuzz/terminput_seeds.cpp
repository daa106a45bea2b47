// Writes seed inputs for terminput_fuzz into a directory: one file for every
// kind of sequence the decoder knows (CSI and SS3 finals with and without
// modifiers, tilde and rxvt codes, CSI u keys of every range the kitty
// protocol reports with each event type, modifyOtherKeys, win32-input-mode,
// X10 and SGR mouse reports, paste markers and focus reports, Alt prefixes,
// UTF-8 of every length), under both protocols and on the Linux console, so
// that the fuzzer starts from every branch rather than finding them by
// chance. The input layout is terminput_fuzz's own.
//
// Usage: terminput_seeds DIRECTORY
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Seed {
    std::string name;
    std::string bytes;
};

// Flags: bit 0 kitty protocol, bit 1 Linux console, bit 2 a window is known,
// bit 3 mouse reporting. The window is 0,0 to 79,24; the read sizes' seed 7.
std::string Input(unsigned flags, const std::string& bytes) {
    std::string in(1, char(flags | 4 | 8));
    const short window[4] = {0, 0, 79, 24};
    for (short v : window) {
        in.push_back(char(v & 0xFF));
        in.push_back(char((v >> 8) & 0xFF));
    }
    in.push_back(7);
    return in + bytes;
}

std::vector<Seed> Sequences() {
    std::vector<Seed> out;
    auto add = [&](const std::string& name, const std::string& bytes) { out.push_back({name, bytes}); };
    const std::string csi = "\x1b[", ss3 = "\x1bO";
    // Every final byte of CSI, bare and with the xterm modifiers.
    for (int f = 0x40; f <= 0x7E; f++) {
        std::string final(1, char(f));
        add("csi-" + std::to_string(f), csi + final);
        add("csi-1-5-" + std::to_string(f), csi + "1;5" + final);
        add("csi-alt-" + std::to_string(f), "\x1b" + csi + "1;3" + final);
    }
    // SS3 finals, with a modifier digit.
    for (int f = 0x40; f <= 0x7E; f++) {
        std::string final(1, char(f));
        add("ss3-" + std::to_string(f), ss3 + final);
        add("ss3-5-" + std::to_string(f), ss3 + "5" + final);
    }
    // Tilde codes and their rxvt forms.
    for (int code = 0; code <= 40; code++) {
        std::string n = std::to_string(code);
        add("tilde-" + n, csi + n + "~" + csi + n + ";2~");
        add("rxvt-" + n, csi + n + "$" + csi + n + "^" + csi + n + "@");
    }
    add("linux-f1-f5", csi + "[A" + csi + "[B" + csi + "[C" + csi + "[D" + csi + "[E" + csi + "[F");
    // CSI u: control keys, text keys, the keypad, modifier keys, function
    // keys, with press, repeat and release, text and base-layout fields.
    const int codes[] = {9,     13,    27,    127,   97,    65,    49,    233,   0x1F600,
                         57358, 57363, 57376, 57387, 57399, 57408, 57409, 57414, 57415,
                         57416, 57417, 57427, 57441, 57442, 57443, 57444, 57447, 57448,
                         57449, 57450, 31,    0x110000};
    for (int code : codes) {
        std::string n = std::to_string(code);
        add("csiu-" + n, csi + n + "u");
        add("csiu-events-" + n, csi + n + ";1:1u" + csi + n + ";1:2u" + csi + n + ";1:3u");
        add("csiu-mods-" + n, csi + n + ";5u" + csi + n + ";3:3u" + csi + n + ";129u" + csi + n + ";65u");
        add("csiu-text-" + n, csi + n + ":" + n + ":97;2;65u" + csi + n + ";1:3;233u");
    }
    // modifyOtherKeys and win32-input-mode.
    add("modify-other-keys", csi + "27;5;97~" + csi + "27;2;65~" + csi + "27;5;127~");
    add("win32-input", csi + "65;30;65;1;16;1_" + csi + "65;30;65;0;16;1_" + csi + "17;29;0;1;8;1_" +
                           csi + "0;0;0;1;0;1_" + csi + "_" + csi + "65;30;97;1;10;3_");
    // Mouse: X10 and SGR presses, releases, motion, wheels, double clicks.
    add("mouse-x10", csi + "M !!" + csi + "M#!!" + csi + "M`!!" + csi + "Ma!!");
    add("mouse-sgr", csi + "<0;10;5M" + csi + "<0;10;5m" + csi + "<0;10;5M" + csi + "<32;11;5M" +
                         csi + "<64;1;1M" + csi + "<66;1;1M" + csi + "<28;3;3M" + csi + "<2;900;900M");
    // Paste markers, focus reports, device answers.
    add("paste-focus", csi + "200~abc" + csi + "201~" + csi + "I" + csi + "O");
    add("answers", csi + "?1u" + csi + "?62;22c" + csi + ">1;2c" + csi + "=1u");
    // ESC forms: Alt keys, double ESC, a lone ESC, ESC before a prefix.
    add("esc-forms", "\x1bx\x1b\x1b\x1b[A\x1b\x1bx\x1b\xc3\xa9\x1b");
    // UTF-8 of every length, broken and overlong forms, C0 and DEL.
    add("utf8", "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\xc3\x41\xe0\x80\xaf\xf5\x80\xff");
    add("controls", std::string("\x00\x01\x08\x09\x0d\x1c\x1d\x1e\x1f\x7f", 10));
    // Cut-off and over-long sequences.
    add("long-csi", csi + std::string(200, '1') + "u");
    add("cut", csi + "1;");
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: terminput_seeds DIRECTORY\n");
        return 2;
    }
    // Each sequence under the xterm keys, the kitty protocol and the Linux
    // console.
    const struct {
        const char* prefix;
        unsigned flags;
    } modes[] = {{"xterm-", 0}, {"kitty-", 1}, {"linux-", 2}};
    int written = 0;
    for (const auto& mode : modes) {
        for (const Seed& seed : Sequences()) {
            std::string path = std::string(argv[1]) + "/" + mode.prefix + seed.name;
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) {
                std::perror(path.c_str());
                return 1;
            }
            std::string in = Input(mode.flags, seed.bytes);
            bool ok = std::fwrite(in.data(), 1, in.size(), f) == in.size();
            if (std::fclose(f) != 0 || !ok) {
                std::perror(path.c_str());
                return 1;
            }
            written++;
        }
    }
    std::printf("terminput_seeds: %d seeds\n", written);
    return 0;
}
