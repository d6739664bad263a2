// UI driver for end-to-end tests: a console program that runs inside the test's
// Wine prefix and drives other programs' windows on the test's behalf.
//
// Protocol: one command per line on stdin, one JSON object per line on stdout,
// both as ANSI (code page) bytes. Fields are separated by TAB, or by spaces in a
// line without TAB (for typing by hand); "%XX" in a field stands for the byte
// 0xXX. Every reply carries "ok"; a failed one "error". Window handles are
// decimal numbers; waits take milliseconds and poll. Commands: kCommands.
#include <windows.h>
#include <shlwapi.h>
#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using std::string;
using Args = std::vector<string>;
using Handles = std::vector<HWND>;

const UINT kSendTimeoutMs = 3000;
// A handler that runs on (a modal loop, the copy) is left running after this long.
const UINT kHandlerWaitMs = 2000;

// Turns each "%XX" escape into its byte.
string Decode(const string& field)
{
    string out;
    for (size_t i = 0; i < field.size(); i++) {
        bool escape = field[i] == '%' && i + 3 <= field.size();
        out += escape ? (char)strtoul(field.substr(i + 1, 2).c_str(), nullptr, 16) : field[i];
        i += escape ? 2 : 0;
    }
    return out;
}

// Replies are built as runs of ',"key":value'; Obj() and Ok() close them.
// Strings are byte strings: window texts, names and registry data as an ANSI
// program holds them, escaped only as JSON needs.
string Field(const char* key, const string& json) { return string(",\"") + key + "\":" + json; }
string Str(const char* key, const string& bytes)
{
    string out = "\"";
    char buf[8];
    for (unsigned char c : bytes)
        snprintf(buf, sizeof buf, c < 0x20 ? "\\u%04x" : (c == '"' || c == '\\') ? "\\%c" : "%c", c), out += buf;
    return key ? Field(key, out + "\"") : out + "\"";
}
string Num(const char* key, long long v) { return Field(key, std::to_string(v)); }
string Bool(const char* key, bool v) { return Field(key, v ? "true" : "false"); }
string Obj(const string& fields) { return string("{").append(fields, fields.empty() ? 0 : 1).append("}"); }
string List(const char* key, const string& items) { return Field(key, string("[").append(items, items.empty() ? 0 : 1) + "]"); }
string Ok(const string& fields = "") { return "{\"ok\":true" + fields + "}"; }
string Error(const string& message) { return "{\"ok\":false" + Str("error", message) + "}"; }

string ClassOf(HWND hwnd)
{
    char buf[256];
    return string(buf, std::max(0, GetClassNameA(hwnd, buf, 256)));
}
bool IsClass(HWND hwnd, const char* name) { return lstrcmpiA(ClassOf(hwnd).c_str(), name) == 0; }
LONG Style(HWND hwnd) { return GetWindowLongA(hwnd, GWL_STYLE); }
bool Send(HWND hwnd, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result)
{
    return SendMessageTimeoutA(hwnd, msg, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, result) != 0;
}

// Texts are read as stored with the window, without a message, so they can be
// read while the owner is busy (the wizard during its copy). An edit field keeps
// its text to itself: only WM_GETTEXT reaches it, and that needs an answer.
string Text(const char* key, HWND hwnd)
{
    static char text[65536];
    DWORD_PTR n = 0;
    if (!IsClass(hwnd, "Edit")) n = std::max(0, GetWindowTextA(hwnd, text, sizeof text));
    else if (!Send(hwnd, WM_GETTEXT, sizeof text, (LPARAM)text, &n)) return "";
    return Str(key, string(text, n));
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM list) { return ((Handles*)list)->push_back(hwnd), TRUE; }
// The direct and deeper children of `parent`, or with null the visible top-level windows.
Handles Windows(HWND parent)
{
    Handles list;
    parent ? EnumChildWindows(parent, Collect, (LPARAM)&list) : EnumWindows(Collect, (LPARAM)&list);
    if (!parent) list.erase(std::remove_if(list.begin(), list.end(), [](HWND w) { return !IsWindowVisible(w); }), list.end());
    return list;
}

// The platform's message box is a dialog of statics and buttons with its text in
// static 0xFFFF; the wizard shares its title but has other controls.
bool IsMessageBox(HWND hwnd)
{
    Handles c = Windows(hwnd);
    return ClassOf(hwnd) == "#32770" && GetDlgItem(hwnd, 0xFFFF) &&
           std::all_of(c.begin(), c.end(), [](HWND w) { return IsClass(w, "Static") || IsClass(w, "Button"); });
}

string WindowJson(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return Obj(Str("hwnd", std::to_string((uintptr_t)hwnd)) + Str("class", ClassOf(hwnd)) +
               Text("title", hwnd) + Num("pid", pid) + Bool("visible", IsWindowVisible(hwnd)) + Bool("msgbox", IsMessageBox(hwnd)));
}

string ControlJson(HWND hwnd)
{
    LONG style = Style(hwnd), kind = style & BS_TYPEMASK;
    string out = Num("id", GetDlgCtrlID(hwnd) & 0xFFFF) + Str("class", ClassOf(hwnd)) + Text("text", hwnd) +
                 Bool("visible", style & WS_VISIBLE) + Bool("enabled", IsWindowEnabled(hwnd));
    DWORD_PTR value = 0;
    if (IsClass(hwnd, "Button") && kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON && Send(hwnd, BM_GETCHECK, 0, 0, &value))
        out += Num("checked", (long long)value);
    if (IsClass(hwnd, "Static") && (style & SS_TYPEMASK) == SS_BITMAP && Send(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0, &value))
        out += Bool("has_image", value != 0);
    return Obj(out);
}

// Which standard icon a message box shows. Icon handles can't be compared
// across processes, so the icon control's pixels on the screen are compared
// with each standard icon drawn here on the same background; the answer is the
// one with few differing pixels and far fewer than any other.
string IdentifyIcon(HWND box)
{
    HWND control = nullptr;
    for (HWND child : Windows(box))
        if (IsClass(child, "Static") && (Style(child) & SS_TYPEMASK) == SS_ICON) control = child;
    DWORD_PTR handle = 0;
    if (!control || !IsWindowVisible(control) || (Send(control, STM_GETICON, 0, 0, &handle) && !handle)) return "none";
    static const char* const kNames[] = {"error", "question", "warning", "info"};
    static const LPCSTR kIcons[] = {IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK};
    RECT rc;
    GetWindowRect(control, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    uint32_t* bits = nullptr;
    HBITMAP bmp = w > 0 && h > 0 ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, (void**)&bits, nullptr, 0) : nullptr;
    HGDIOBJ old = SelectObject(mem, bmp);
    string found = "unknown";
    // A box just shown may not be painted yet, or lie under another window.
    for (int attempt = 0; bits && attempt < 50 && found == "unknown"; attempt++, Sleep(100)) {
        if (attempt == 2) SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
        GdiFlush();
        std::vector<uint32_t> shot(bits, bits + w * h);
        long score[4] = {};
        for (int k = 0; k < 4; k++) {
            std::fill(bits, bits + w * h, shot[0]);
            DrawIconEx(mem, 0, 0, LoadIconA(nullptr, kIcons[k]), w, h, 0, nullptr, DI_NORMAL);
            GdiFlush();
            for (int i = 0, d = 0; i < w * h; i++, score[k] += d > 60, d = 0)
                for (int s = 0; s < 24; s += 8) d += abs((int)((shot[i] >> s) & 255) - (int)((bits[i] >> s) & 255));
        }
        int best = (int)(std::min_element(score, score + 4) - score);
        if (std::count_if(score, score + 4, [&](long x) { return x < score[best] * 3 + 1; }) == 1 && score[best] * 10 <= w * h)
            found = kNames[best];
    }
    SelectObject(mem, old);
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return found;
}

std::vector<PROCESS_INFORMATION> g_started;

// A process this driver started: by pid, the last one when `pid` is empty.
HANDLE Started(const string& pid)
{
    for (auto p = g_started.rbegin(); p != g_started.rend(); ++p)
        if (pid.empty() || p->dwProcessId == strtoul(pid.c_str(), nullptr, 10)) return p->hProcess;
    return nullptr;
}

// `path` is HKLM\... or HKCU\...; `view` "64" or "32" (what a 32-bit program sees).
bool OpenKey(const string& path, const string& view, REGSAM access, bool create, HKEY* out)
{
    size_t slash = std::min(path.find('\\'), path.size());
    HKEY base = path.compare(0, slash, "HKLM") == 0 ? HKEY_LOCAL_MACHINE : path.compare(0, slash, "HKCU") == 0 ? HKEY_CURRENT_USER : nullptr;
    string sub = path.substr(std::min(slash + 1, path.size()));
    access |= view == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    return base && (create ? RegCreateKeyExA(base, sub.c_str(), 0, nullptr, 0, access, nullptr, out, nullptr)
                           : RegOpenKeyExA(base, sub.c_str(), 0, access, out)) == ERROR_SUCCESS;
}

// A value's type, its stored bytes and, for strings, the bytes an ANSI program
// reads back, terminator included.
string ValueFields(HKEY key, const string& name)
{
    static BYTE data[65536];
    wchar_t wide[1024];
    DWORD type = 0, size = sizeof data;
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 1024);
    if (RegQueryValueExW(key, wide, nullptr, &type, data, &size) != ERROR_SUCCESS) return Bool("exists", false);
    string out = Bool("exists", true) + Num("type", type) + Str("data", string((char*)data, size));
    size = sizeof data;
    if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) &&
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, data, &size) == ERROR_SUCCESS)
        out += Str("ansi", string((char*)data, size));
    return out;
}

// Sent, so the reply comes after the program has handled it, or after
// kHandlerWaitMs when the handler runs on.
string Handled(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    DWORD_PTR result;
    return Ok(Bool("finished", SendMessageTimeoutA(hwnd, msg, w, l, SMTO_NORMAL, kHandlerWaitMs, &result)));
}

// Each handler gets the fields (absent ones empty), the window that field 1
// names and its control that field 2 names.
struct Command {
    const char* name;
    bool onWindow;  // field 1 must name an existing window
    string (*run)(const Args& a, HWND hwnd, HWND control);
};

const Command kCommands[] = {
    {"start", false, [](const Args& a, HWND, HWND) {  // <command line> [cwd]
         string line = a[1];
         STARTUPINFOA si = {};
         si.cb = sizeof si;
         PROCESS_INFORMATION pi;
         if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, a[2].empty() ? nullptr : a[2].c_str(), &si, &pi))
             return Error("CreateProcess failed: " + std::to_string(GetLastError()));
         g_started.push_back(pi);
         return Ok(Num("pid", pi.dwProcessId)); }},
    {"wait_exit", false, [](const Args& a, HWND, HWND) {  // <ms> [pid]
         HANDLE process = Started(a[2]);
         DWORD code = 0;
         if (!process) return Error("no such started process");
         if (WaitForSingleObject(process, strtoul(a[1].c_str(), nullptr, 10)) != WAIT_OBJECT_0) return Error("timeout");
         return GetExitCodeProcess(process, &code), Ok(Num("exit_code", code)); }},
    {"kill", false, [](const Args& a, HWND, HWND) {  // [pid]
         return Started(a[1]) ? (TerminateProcess(Started(a[1]), 255), Ok()) : Error("no such started process"); }},
    {"list", false, [](const Args&, HWND, HWND) {  // the visible top-level windows
         string items;
         for (HWND w : Windows(nullptr)) items.append(",") += WindowJson(w);
         return Ok(List("windows", items)); }},
    {"controls", true, [](const Args&, HWND hwnd, HWND) {  // <hwnd>: its direct children
         string items;
         for (HWND child : Windows(hwnd)) if (GetParent(child) == hwnd) items.append(",") += ControlJson(child);
         return Ok(List("controls", items)); }},
    {"msgbox", true, [](const Args&, HWND hwnd, HWND) {  // <hwnd>: title, text, visible buttons, icon
         string buttons;
         for (HWND child : Windows(hwnd))
             if (IsClass(child, "Button") && (Style(child) & WS_VISIBLE)) buttons.append(",") += Obj(Num("id", GetDlgCtrlID(child)));
         HWND text = GetDlgItem(hwnd, 0xFFFF);
         return Ok(Text("title", hwnd) + (text ? Text("text", text) : "") + List("buttons", buttons) +
                   Str("icon", IdentifyIcon(hwnd))); }},
    {"click", true, [](const Args&, HWND, HWND control) {  // <hwnd> <id>: BM_CLICK to the control
         return control ? Handled(control, BM_CLICK, 0, 0) : Error("no such control"); }},
    {"command", true, [](const Args& a, HWND hwnd, HWND control) {  // <hwnd> <id>: WM_COMMAND to the window
         return Handled(hwnd, WM_COMMAND, MAKEWPARAM(atoi(a[2].c_str()), BN_CLICKED), (LPARAM)control); }},
    {"settext", true, [](const Args& a, HWND, HWND control) {  // <hwnd> <id> <text>
         DWORD_PTR result;
         if (!control) return Error("no such control");
         return Send(control, WM_SETTEXT, 0, (LPARAM)a[3].c_str(), &result) ? Ok() : Error("window does not answer"); }},
    {"gettext", true, [](const Args& a, HWND hwnd, HWND control) {  // <hwnd> [id]
         return a[2].empty() || control ? Ok(Text("text", a[2].empty() ? hwnd : control)) : Error("no such control"); }},
    {"close", true, [](const Args&, HWND hwnd, HWND) { return PostMessageA(hwnd, WM_CLOSE, 0, 0) ? Ok() : Error("no such window"); }},
    {"regquery", false, [](const Args& a, HWND, HWND) {  // <key> <value|*> <32|64>: one value, or all and the subkeys
         HKEY key;
         if (!OpenKey(a[1], a[3], KEY_READ, false, &key)) return Ok(Bool("key_exists", false) + Bool("exists", false));
         string out = Bool("key_exists", true), values, subkeys;
         char name[16384];
         if (a[2] != "*") out += ValueFields(key, a[2]);
         for (DWORD i = 0, n = 16384; a[2] == "*" && RegEnumValueA(key, i, name, &n, 0, 0, 0, 0) == 0; i++, n = 16384)
             values.append(",") += Obj(Str("name", string(name, n)) + ValueFields(key, string(name, n)));
         for (DWORD i = 0, n = 256; a[2] == "*" && RegEnumKeyExA(key, i, name, &n, 0, 0, 0, 0) == 0; i++, n = 256)
             subkeys.append(",") += Str(nullptr, string(name, n));
         RegCloseKey(key);
         return Ok(out + (a[2] == "*" ? List("values", values) + List("subkeys", subkeys) : "")); }},
    {"regset", false, [](const Args& a, HWND, HWND) {  // <key> <value> <type> <data> <32|64>
         HKEY key;
         if (!OpenKey(a[1], a[5], KEY_WRITE, true, &key)) return Error("cannot open key");
         // The A call takes string data as ANSI bytes, like the program's own writes.
         LONG rc = RegSetValueExA(key, a[2].empty() ? nullptr : a[2].c_str(), 0, strtoul(a[3].c_str(), nullptr, 10),
                                  (const BYTE*)a[4].data(), (DWORD)a[4].size());
         return RegCloseKey(key), rc == ERROR_SUCCESS ? Ok() : Error("RegSetValueEx failed: " + std::to_string(rc)); }},
    {"regdelete", false, [](const Args& a, HWND, HWND) {  // <key> <value|*> <32|64>: one value, or the whole key
         HKEY key;
         bool whole = a[2] == "*";
         size_t cut = a[1].rfind('\\');
         if (cut == string::npos || !OpenKey(whole ? a[1].substr(0, cut) : a[1], a[3], KEY_ALL_ACCESS, false, &key))
             return Error("cannot open key");
         LONG rc = whole ? (LONG)SHDeleteKeyA(key, a[1].substr(cut + 1).c_str()) : RegDeleteValueA(key, a[2].c_str());
         return RegCloseKey(key), rc == ERROR_SUCCESS ? Ok() : Error("delete failed: " + std::to_string(rc)); }},
};

string Run(Args a)
{
    a.resize(std::max<size_t>(a.size(), 8));
    HWND hwnd = (HWND)(uintptr_t)strtoull(a[1].c_str(), nullptr, 10);
    for (const Command& c : kCommands)
        if (a[0] == c.name)
            return c.onWindow && !IsWindow(hwnd) ? Error("no such window") : c.run(a, hwnd, GetDlgItem(hwnd, atoi(a[2].c_str())));
    return Error("unknown command: " + a[0]);
}

}  // namespace

int main()
{
    // Console programs started further down the line (a batch file's cmd.exe)
    // would otherwise write into the replies or read commands: the protocol
    // keeps private copies of the pipes and the standard handles point at NUL.
    HANDLE self = GetCurrentProcess(), in, out;
    DuplicateHandle(self, GetStdHandle(STD_INPUT_HANDLE), self, &in, 0, FALSE, DUPLICATE_SAME_ACCESS);
    DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &out, 0, FALSE, DUPLICATE_SAME_ACCESS);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) SetStdHandle(which, nul);
    auto reply = [out](const string& s) {
        DWORD written;
        WriteFile(out, (s + "\n").data(), (DWORD)s.size() + 1, &written, nullptr);
    };
    reply(Ok(Str("ready", "uidrv")));
    FILE* commands = _fdopen(_open_osfhandle((intptr_t)in, _O_RDONLY), "rb");
    for (char buf[65536]; fgets(buf, sizeof buf, commands);) {
        string line = string(buf).substr(0, string(buf).find_first_of("\r\n"));
        Args args;
        char sep = line.find('\t') != string::npos ? '\t' : ' ';
        for (size_t pos = 0, next = 0; next != string::npos; pos = next + 1)
            next = line.find(sep, pos), args.push_back(Decode(line.substr(pos, next == string::npos ? next : next - pos)));
        if (args[0] == "quit") break;
        if (!line.empty()) reply(Run(args));
    }
    reply(Ok());
}
