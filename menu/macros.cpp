// Key names, macro text into keys, the in-memory macro recorder and the
// repeat of the last macro.
#include "menu/macros.h"
#include "ui/error_reporting.h"
#include "remote/remote_drives.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// clang-format off
const KeyNameRow gKeyNames[] = {
    {0x009, "TAB"},          {0x209, "BTAB"},         {0x209, "SH_TAB"},
    {0x409, "CTRL_TAB"},     {0x609, "CTRL_BTAB"},    {0x01B, "ESC"},
    {0x21B, "SH_ESC"},       {0x008, "BKSP"},         {0x208, "SH_BKSP"},
    {0x420, "CTRL_SPACE"},   {0x408, "CTRL_BKSP"},    {0x00D, "RET"},
    {0x00D, "ENTER"},        {0x40D, "CTRL_RET"},     {0x40D, "CTRL_ENTER"},
    {0x20D, "SH_RET"},       {0x20D, "SH_ENTER"},     {0x41C, "CTRL_BKSL"},
    {0x8DC, "ALT_BKSL"},     {0x8BA, "ALT_SEMI"},     {0x841, "ALT_A"},
    {0x842, "ALT_B"},        {0x843, "ALT_C"},        {0x844, "ALT_D"},
    {0x845, "ALT_E"},        {0x846, "ALT_F"},        {0x847, "ALT_G"},
    {0x848, "ALT_H"},        {0x849, "ALT_I"},        {0x84A, "ALT_J"},
    {0x84B, "ALT_K"},        {0x84C, "ALT_L"},        {0x84D, "ALT_M"},
    {0x84E, "ALT_N"},        {0x84F, "ALT_O"},        {0x850, "ALT_P"},
    {0x851, "ALT_Q"},        {0x852, "ALT_R"},        {0x853, "ALT_S"},
    {0x854, "ALT_T"},        {0x855, "ALT_U"},        {0x856, "ALT_V"},
    {0x857, "ALT_W"},        {0x858, "ALT_X"},        {0x859, "ALT_Y"},
    {0x85A, "ALT_Z"},        {0x441, "CTRL_A"},       {0x442, "CTRL_B"},
    {0x443, "CTRL_C"},       {0x444, "CTRL_D"},       {0x445, "CTRL_E"},
    {0x446, "CTRL_F"},       {0x447, "CTRL_G"},       {0x448, "CTRL_H"},
    {0x449, "CTRL_I"},       {0x44A, "CTRL_J"},       {0x44B, "CTRL_K"},
    {0x44C, "CTRL_L"},       {0x44D, "CTRL_M"},       {0x44E, "CTRL_N"},
    {0x44F, "CTRL_O"},       {0x450, "CTRL_P"},       {0x451, "CTRL_Q"},
    {0x452, "CTRL_R"},       {0x453, "CTRL_S"},       {0x454, "CTRL_T"},
    {0x455, "CTRL_U"},       {0x456, "CTRL_V"},       {0x457, "CTRL_W"},
    {0x458, "CTRL_X"},       {0x459, "CTRL_Y"},       {0x45A, "CTRL_Z"},
    {0x170, "F1"},           {0x171, "F2"},           {0x172, "F3"},
    {0x173, "F4"},           {0x174, "F5"},           {0x175, "F6"},
    {0x176, "F7"},           {0x177, "F8"},           {0x178, "F9"},
    {0x179, "F10"},          {0x17A, "F11"},          {0x17B, "F12"},
    {0x270, "SH_F1"},        {0x271, "SH_F2"},        {0x272, "SH_F3"},
    {0x273, "SH_F4"},        {0x274, "SH_F5"},        {0x275, "SH_F6"},
    {0x276, "SH_F7"},        {0x277, "SH_F8"},        {0x278, "SH_F9"},
    {0x279, "SH_F10"},       {0x27A, "SH_F11"},       {0x27B, "SH_F12"},
    {0x470, "CTRL_F1"},      {0x471, "CTRL_F2"},      {0x472, "CTRL_F3"},
    {0x473, "CTRL_F4"},      {0x474, "CTRL_F5"},      {0x475, "CTRL_F6"},
    {0x476, "CTRL_F7"},      {0x477, "CTRL_F8"},      {0x478, "CTRL_F9"},
    {0x479, "CTRL_F10"},     {0x47A, "CTRL_F11"},     {0x47B, "CTRL_F12"},
    {0x870, "ALT_F1"},       {0x871, "ALT_F2"},       {0x872, "ALT_F3"},
    {0x873, "ALT_F4"},       {0x874, "ALT_F5"},       {0x875, "ALT_F6"},
    {0x876, "ALT_F7"},       {0x877, "ALT_F8"},       {0x878, "ALT_F9"},
    {0x879, "ALT_F10"},      {0x87A, "ALT_F11"},      {0x87B, "ALT_F12"},
    {0x121, "PGUP"},         {0x122, "PGDN"},         {0x123, "END"},
    {0x124, "HOME"},         {0x125, "LEFT"},         {0x126, "UP"},
    {0x127, "RIGHT"},        {0x128, "DOWN"},         {0x12D, "INS"},
    {0x32D, "SH_INS"},       {0x22D, "SH_NUM_INS"},   {0x12E, "DEL"},
    {0x32E, "SH_DEL"},       {0x42E, "CTRL_DEL"},     {0x321, "SH_PGUP"},
    {0x322, "SH_PGDN"},      {0x323, "SH_END"},       {0x324, "SH_HOME"},
    {0x326, "SH_UP"},        {0x325, "SH_LEFT"},      {0x327, "SH_RIGHT"},
    {0x328, "SH_DOWN"},      {0x425, "CTRL_LEFT"},    {0x427, "CTRL_RIGHT"},
    {0x42D, "CTRL_INS"},     {0x824, "ALT_HOME"},     {0x825, "ALT_LEFT"},
    {0x827, "ALT_RIGHT"},    {0x826, "ALT_UP"},       {0x828, "ALT_DOWN"},
    {0x426, "CTRL_UP"},      {0x428, "CTRL_DOWN"},    {0x421, "CTRL_PGUP"},
    {0x422, "CTRL_PGDN"},    {0x424, "CTRL_HOME"},    {0x423, "CTRL_END"},
    {0x627, "CTRL_SH_RIGHT"}, {0x625, "CTRL_SH_LEFT"}, {0x430, "CTRL_0"},
    {0x431, "CTRL_1"},       {0x432, "CTRL_2"},       {0x433, "CTRL_3"},
    {0x434, "CTRL_4"},       {0x435, "CTRL_5"},       {0x436, "CTRL_6"},
    {0x437, "CTRL_7"},       {0x438, "CTRL_8"},       {0x439, "CTRL_9"},
    {0x830, "ALT_0"},        {0x831, "ALT_1"},        {0x832, "ALT_2"},
    {0x833, "ALT_3"},        {0x834, "ALT_4"},        {0x835, "ALT_5"},
    {0x836, "ALT_6"},        {0x837, "ALT_7"},        {0x838, "ALT_8"},
    {0x839, "ALT_9"},        {0x26D, "SH_NUM-"},      {0x4DB, "CTRL_["},
    {0x4DD, "CTRL_]"},       {0x1020, "SPLIT"},       {0x1021, "UNSPLIT"},
    {0x103B, "DMODE"},       {0x103C, "FMODE"},       {0x1023, "ASCEND"},
    {0x1022, "DESCEND"},     {0x020, "SPACE"},        {0x02C, "COMMA"},
    {0x03B, "SEMI"},         {0x022, "QUOTE"},        {0x12B, "NUM+"},
    {0x223, "SH_NUM1"},      {0x228, "SH_NUM2"},      {0x222, "SH_NUM3"},
    {0x225, "SH_NUM4"},      {0x20C, "SH_NUM5"},      {0x227, "SH_NUM6"},
    {0x224, "SH_NUM7"},      {0x226, "SH_NUM8"},      {0x221, "SH_NUM9"},
    {0x10C, "NUM5"},         {0x8BE, "ALT_."},        {0x8DB, "ALT_["},
    {0x8DD, "ALT_]"},        {0x651, "CTRL_SH_Q"},    {0x1070, "STOP_IF_DW"},
    {0x1071, "STOP_IF_FW"},  {0x1072, "STOP_IF_MATCH"}, {0x1073, "STOP_IF_NOMATCH"},
    {0x1074, "STOP_IF_TAGS"}, {0x1075, "STOP_IF_NOTAGS"}, {0x1076, "STOP_IF_SPLIT"},
    {0x1077, "STOP_IF_UNSPLIT"}, {0x1078, "STOP_IF_DMODE"}, {0x1079, "STOP_IF_FMODE"},
    {0x107A, "STOP_IF_NOT_VIEWER"}, {0x107B, "STOP_ON_ERROR"}, {0x107C, "STOP_ON_HOME"},
    {0x107D, "STOP_ON_END"}, {0x107E, "WHILE_NOT_ERROR"}, {0x107F, "WHILE_NOT_HOME"},
    {0x1080, "WHILE_NOT_END"}, {0x1081, "PAUSE"},     {0x1082, "SLEEP"},
    {0x1083, "BEEP"},        {-1, "STOP"},            {0, ""},
};
// clang-format on
static_assert(sizeof gKeyNames / sizeof gKeyNames[0] == KEY_NAME_COUNT + 1);

namespace {

bool SameIgnoringCase(const char* a, const char* b) {
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

// Names a recording never writes: the alternative spellings of a code, the
// names of codes the program queues for itself and the control words.
bool NeverWritten(const char* name) {
    static const char* const kNames[] = {"SH_TAB", "CTRL_BTAB", "ENTER",  "CTRL_ENTER", "SH_ENTER",
                                         "DMODE",  "FMODE",     "ASCEND", "DESCEND"};
    for (const char* n : kNames)
        if (std::strcmp(n, name) == 0) return true;
    if (std::strncmp(name, "SH_NUM", 6) == 0 && name[6] >= '1' && name[6] <= '9') return true;
    return std::strncmp(name, "STOP_", 5) == 0 || std::strncmp(name, "WHILE_", 6) == 0 ||
           std::strcmp(name, "PAUSE") == 0 || std::strcmp(name, "SLEEP") == 0 ||
           std::strcmp(name, "BEEP") == 0;
}

constexpr size_t kItemMax = 1023;

// Appends the keys of one item: a name's code, or each byte as a key.
void AddItem(const std::string& item, std::vector<KeyCode>* keys) {
    if (item.empty()) return;
    const KeyCode code = KeyNameToCode(item.c_str());
    if (code == KC_STOP) return;
    if (code != 0) {
        keys->push_back(code);
        return;
    }
    for (unsigned char c : item)
        keys->push_back(c);
}

// Whether text at i starts an item that ends the macro.
bool StopsHere(const std::string& text, size_t i) {
    return text.compare(i, 4, "STOP") == 0 && (i + 4 >= text.size() || text[i + 4] != '_');
}

// The keys of macro text.
std::vector<KeyCode> ParseMacro(const std::string& text) {
    std::vector<KeyCode> keys;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ',') {
            i++;
            continue;
        }
        if (StopsHere(text, i)) break;
        std::string item;
        while (i < text.size() && text[i] != ',') {
            if (text[i] == '"') {
                const size_t close = text.find('"', i + 1);
                const size_t ret = text.find("RET", i + 1);
                if (close != std::string::npos && (ret == std::string::npos || close < ret)) {
                    item.append(text, i, close + 1 - i);
                    i = close + 1;
                    continue;
                }
            }
            item.push_back(text[i++]);
        }
        if (item.size() > kItemMax) item.resize(kItemMax);
        AddItem(item, &keys);
    }
    return keys;
}

// The text of a macro file, lines joined with commas; false when it cannot
// be opened.
bool ReadMacroFile(const char* fileName, std::string* text) {
    std::string name = fileName;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    const size_t slash = name.find_last_of("\\/");
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (name.find('.', base) == std::string::npos) name += ".qbm";
    WCHAR wide[1025];
    const int units = MultiByteToWideChar(CP_OEMCP, 0, name.c_str(), -1, wide, 1025);
    if (units <= 0) return false;
    WCHAR full[1025];
    const DWORD length = RdGetFullPathNameW(wide, 1025, full, nullptr);
    FILE* file = Rd_wfopen(length > 0 && length < 1025 ? full : wide, u"r");
    if (!file) return false;
    char line[1024];
    while (fgets(line, sizeof line, file)) {
        OemToCharA(line, line);
        const char* first = line;
        while (*first == ' ' || *first == '\t')
            first++;
        if (*first == ';') continue;
        std::string chunk = line;
        if (!chunk.empty() && chunk.back() == '\n') {
            chunk.pop_back();
            if (!chunk.empty() && chunk.back() != ',') chunk.push_back(',');
        }
        *text += chunk;
    }
    fclose(file);
    if (!text->empty() && text->back() == ',') text->pop_back();
    return true;
}

std::mutex gRecorderLock;
BOOL gRecording = FALSE;
std::vector<KeyCode> gRecordedKeys;
std::string gRecorded;

// The macro text of recorded keys: a key with a name is an item of its own,
// characters typed in a row form one item. A run that would read back as a
// name or as the end of the macro ("UP", "STOP") is written one character an
// item, so that the text plays back the keys that were typed.
std::string RecordedText(const std::vector<KeyCode>& keys) {
    std::vector<std::string> items;
    std::string run;
    auto endRun = [&] {
        if (run.empty()) return;
        if (KeyNameToCode(run.c_str()) != 0 || run.compare(0, 4, "STOP") == 0) {
            for (char c : run)
                items.emplace_back(1, c);
        } else {
            items.push_back(run);
        }
        run.clear();
    };
    for (KeyCode key : keys) {
        const char* name = KeyCodeName(key);
        if (!name && key >= 0 && key < 256) {
            run.push_back(char(key));
            continue;
        }
        endRun();
        items.emplace_back(name ? name : "STOP");
    }
    endRun();
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text += ',';
        text += item;
    }
    return text;
}

std::string gLastMacro;

} // namespace

KeyCode KeyNameToCode(const char* name) {
    const char* underscore = std::strchr(name, '_');
    const size_t prefix = underscore ? size_t(underscore - name) : std::strlen(name);
    for (const KeyNameRow* row = gKeyNames; row->name[0] != 0; row++)
        if (SameIgnoringCase(row->name, name) && std::strncmp(row->name, name, prefix) == 0)
            return row->code;
    return 0;
}

const char* KeyCodeName(KeyCode code) {
    for (const KeyNameRow* row = gKeyNames; row->name[0] != 0; row++)
        if (row->code == code && !NeverWritten(row->name)) return row->name;
    return nullptr;
}

int LoadMacro(const char* text) {
    if (text == nullptr || text[0] == 0) return 0;
    std::string macro;
    const bool fromFile = text[0] == '@';
    if (fromFile) {
        if (!ReadMacroFile(text + 1, &macro)) {
            ShowError(0, "Unable to open macro file");
            return -1;
        }
    } else {
        macro = text;
    }
    gLastMacro = text;
    std::vector<KeyCode> keys = ParseMacro(macro);
    if (keys.empty()) {
        if (fromFile) ShowError(0, "No macro commands read from file");
        return 0;
    }
    if (keys.size() > size_t(MACRO_KEYS_MAX)) {
        keys.resize(MACRO_KEYS_MAX);
        ShowError(0, "Macro buffer full - truncated");
    }
    MacroLoadKeys(keys.data(), int(keys.size()), 0);
    return int(keys.size());
}

int KeyLogMacroRecord(int operation, KeyCode key, DWORD flags, const char* text) {
    (void)flags;
    (void)text;
    std::lock_guard<std::mutex> guard(gRecorderLock);
    switch (operation) {
    case KEYLOG_START_RECORDING:
        gRecording = TRUE;
        gRecordedKeys.clear();
        gRecorded.clear();
        break;
    case KEYLOG_END_RECORDING:
        gRecording = FALSE;
        break;
    case KEYLOG_KEY:
        if (gRecording && key != KC_CTRL_F12) {
            gRecordedKeys.push_back(key);
            gRecorded = RecordedText(gRecordedKeys);
        }
        break;
    default:
        break;
    }
    return 0;
}

BOOL MacroRecordingActive() {
    std::lock_guard<std::mutex> guard(gRecorderLock);
    return gRecording;
}

const char* MacroRecordedText() {
    std::lock_guard<std::mutex> guard(gRecorderLock);
    return gRecorded.c_str();
}

void MacroCommand(int repeatLast) {
    if (repeatLast && !gLastMacro.empty()) {
        const std::string last = gLastMacro;
        LoadMacro(last.c_str());
    }
}
