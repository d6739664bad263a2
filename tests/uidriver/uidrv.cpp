// UI driver for end-to-end tests: a console program that runs inside the test's
// Wine prefix and drives other programs' windows on the test's behalf.
//
// Protocol: one command per line on stdin (UTF-8), one JSON object per line on
// stdout. Fields are separated by TAB, or by spaces in a line without TAB (for
// typing by hand). Inside a field "%XX" stands for the byte 0xXX. Every reply
// carries "ok"; a failed one "error". Window handles are decimal numbers. Every
// wait takes a timeout in milliseconds and polls.
#include <windows.h>
#include <shlwapi.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using std::string;
using std::wstring;
using Args = std::vector<string>;

const UINT kSendTimeoutMs = 3000;
// Clicks are sent, so the reply comes after the program has handled them; a
// handler that runs on (a modal loop, the copy) is left running after this long.
const UINT kHandlerWaitMs = 2000;

string Format(const char* format, unsigned value)
{
    char buf[16];
    snprintf(buf, sizeof buf, format, value);
    return buf;
}

wstring Widen(const string& utf8)
{
    wstring w(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0), L'\0');
    if (!w.empty()) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &w[0], (int)w.size());
    return w;
}

string Narrow(const wstring& w)
{
    string s(WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr), '\0');
    if (!s.empty()) WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], (int)s.size(), nullptr, nullptr);
    return s;
}

string Hex(const void* data, size_t size)
{
    string out;
    for (size_t i = 0; i < size; i++) out += Format("%02x", ((const unsigned char*)data)[i]);
    return out;
}

// Decodes "%XX" escapes, or with `bare` a field of hex digit pairs.
string Decode(const string& field, bool bare = false)
{
    string out;
    for (size_t i = 0; i < field.size(); i++) {
        size_t at = bare ? i : i + 1;
        if ((bare || field[i] == '%') && at + 1 < field.size() && isxdigit((unsigned char)field[at]) &&
            isxdigit((unsigned char)field[at + 1]))
            out += (char)strtol(field.substr(at, 2).c_str(), nullptr, 16), i = at + 1;
        else
            out += field[i];
    }
    return out;
}

string Quote(const string& s)
{
    string out = "\"";
    for (unsigned char c : s) out += Format(c < 0x20 ? "\\u%04x" : (c == '"' || c == '\\') ? "\\%c" : "%c", c);
    return out + "\"";
}

// One reply object built field by field; Body() gives it without "ok" for nesting.
struct Reply {
    string body;
    Reply& Str(const char* key, const string& v) { return Raw(key, Quote(v)); }
    Reply& Int(const char* key, long long v) { return Raw(key, std::to_string(v)); }
    Reply& Bool(const char* key, bool v) { return Raw(key, v ? "true" : "false"); }
    Reply& Raw(const char* key, const string& json) { return body += string(",\"") + key + "\":" + json, *this; }
    string Done() const { return "{\"ok\":true" + body + "}"; }
    string Body() const { return "{" + (body.empty() ? body : body.substr(1)) + "}"; }
};

void Append(string& list, const string& item) { list += (list.empty() ? string() : string(",")) + item; }

string Error(const string& message) { return "{\"ok\":false,\"error\":" + Quote(message) + "}"; }

HWND ParseHandle(const string& text) { return (HWND)(uintptr_t)strtoull(text.c_str(), nullptr, 0); }
string HandleText(HWND hwnd) { return std::to_string((unsigned long long)(uintptr_t)hwnd); }
DWORD Ms(const string& s) { return (DWORD)strtoul(s.c_str(), nullptr, 10); }

wstring ClassOf(HWND hwnd)
{
    wchar_t buf[256];
    return wstring(buf, std::max(0, GetClassNameW(hwnd, buf, 256)));
}

bool IsClass(HWND hwnd, const wchar_t* name) { return lstrcmpiW(ClassOf(hwnd).c_str(), name) == 0; }

// Texts are read as stored with the window, without a message, so they can be
// read while the owner is busy (the wizard during its copy). An edit field keeps
// its text to itself: only WM_GETTEXT reaches it, and that needs an answer.
// `ansi` gets the text as an ANSI program reads it back.
bool TextOf(HWND hwnd, wstring* wide, string* ansi)
{
    static wchar_t w[32768];
    static char a[65536];
    DWORD_PTR n = 0;
    if (!IsClass(hwnd, L"Edit")) {
        *wide = wstring(w, std::max(0, GetWindowTextW(hwnd, w, 32768)));
        *ansi = string(a, std::max(0, GetWindowTextA(hwnd, a, 65536)));
        return true;
    }
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 32768, (LPARAM)w, SMTO_ABORTIFHUNG, kSendTimeoutMs, &n)) return false;
    *wide = wstring(w, n);
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, 65536, (LPARAM)a, SMTO_ABORTIFHUNG, kSendTimeoutMs, &n)) return false;
    *ansi = string(a, n);
    return true;
}

// Adds "<key>" (UTF-8) and "<key>_hex" (the ANSI bytes).
void AddText(Reply& r, const char* key, HWND hwnd)
{
    wstring wide;
    string ansi;
    if (!TextOf(hwnd, &wide, &ansi)) {
        r.Bool("text_unreadable", true);
        return;
    }
    r.Str(key, Narrow(wide)).Str((string(key) + "_hex").c_str(), Hex(ansi.data(), ansi.size()));
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM list) { return ((std::vector<HWND>*)list)->push_back(hwnd), TRUE; }

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> list;
    EnumChildWindows(parent, Collect, (LPARAM)&list);
    return list;
}

std::vector<HWND> VisibleTopLevel()
{
    std::vector<HWND> all, shown;
    EnumWindows(Collect, (LPARAM)&all);
    for (HWND hwnd : all)
        if (IsWindowVisible(hwnd)) shown.push_back(hwnd);
    return shown;
}

// The platform's message box is a dialog of statics and buttons with its text in
// static 0xFFFF; the wizard shares its title but has other controls.
bool IsMessageBox(HWND hwnd)
{
    if (ClassOf(hwnd) != L"#32770" || !GetDlgItem(hwnd, 0xFFFF)) return false;
    for (HWND child : Children(hwnd))
        if (!IsClass(child, L"Static") && !IsClass(child, L"Button")) return false;
    return true;
}

string WindowJson(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    Reply r;
    r.Str("hwnd", HandleText(hwnd)).Str("class", Narrow(ClassOf(hwnd)));
    AddText(r, "title", hwnd);
    return r.Int("pid", pid).Bool("visible", IsWindowVisible(hwnd) != 0).Body();
}

string ControlJson(HWND hwnd)
{
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    Reply r;
    r.Int("id", GetDlgCtrlID(hwnd) & 0xFFFF).Str("class", Narrow(ClassOf(hwnd)));
    AddText(r, "text", hwnd);
    r.Bool("visible", (style & WS_VISIBLE) != 0).Bool("enabled", IsWindowEnabled(hwnd) != 0);
    DWORD_PTR value = 0;
    LONG kind = style & BS_TYPEMASK;
    if (IsClass(hwnd, L"Button") && kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON &&
        SendMessageTimeoutW(hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
        r.Int("checked", (long long)value);
    if (IsClass(hwnd, L"Static") && (style & SS_TYPEMASK) == SS_BITMAP &&
        SendMessageTimeoutW(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
        r.Bool("has_image", value != 0);
    return r.Body();
}

// The pixels of `icon` drawn on `background`, or of the screen at `rc` when
// `icon` is null; 0x00RRGGBB, top row first.
std::vector<uint32_t> Pixels(const RECT& rc, HICON icon, uint32_t background)
{
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    std::vector<uint32_t> out;
    if (w <= 0 || h <= 0) return out;
    HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    uint32_t* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, (void**)&bits, nullptr, 0);
    if (bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        std::fill(bits, bits + w * h, background);
        if (icon ? DrawIconEx(mem, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL)
                 : BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY)) {
            GdiFlush();
            out.assign(bits, bits + w * h);
            for (uint32_t& p : out) p &= 0xFFFFFF;
        }
        SelectObject(mem, old);
        DeleteObject(bmp);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return out;
}

// Which standard icon a message box shows. Icon handles can't be compared
// across processes, so the icon control's pixels on the screen are compared
// with each standard icon drawn here; a clear winner is the answer.
string IdentifyIcon(HWND box, string* scores)
{
    HWND control = nullptr;
    for (HWND child : Children(box))
        if (IsClass(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) control = child;
    DWORD_PTR handle = 0;
    if (!control || !IsWindowVisible(control) ||
        (SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle) && !handle))
        return "none";
    static const struct { const char* name; LPCSTR id; } kinds[] = {
        {"error", IDI_HAND}, {"question", IDI_QUESTION}, {"warning", IDI_EXCLAMATION}, {"info", IDI_ASTERISK}};
    // A box just shown may not be painted yet, or lie under another window.
    for (int attempt = 0; attempt < 50; attempt++, Sleep(100)) {
        if (attempt == 2) SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RECT rc;
        GetWindowRect(control, &rc);
        std::vector<uint32_t> shot = Pixels(rc, nullptr, 0);
        if (shot.empty()) return "unknown";
        long score[4] = {};
        int best = 0;
        scores->clear();
        for (int k = 0; k < 4; k++) {
            std::vector<uint32_t> ref = Pixels(rc, LoadIconA(nullptr, kinds[k].id), shot[0]);
            for (size_t i = 0; i < shot.size() && i < ref.size(); i++) {
                int d = 0;
                for (int s = 0; s < 24; s += 8) d += abs((int)((shot[i] >> s) & 255) - (int)((ref[i] >> s) & 255));
                score[k] += d > 60;
            }
            *scores += string(kinds[k].name) + "=" + std::to_string(score[k]) + " ";
            best = score[k] < score[best] ? k : best;
        }
        bool clear = score[best] * 10 <= (long)shot.size();
        for (int k = 0; k < 4; k++) clear = clear && (k == best || score[best] * 3 < score[k]);
        if (clear) return kinds[best].name;
    }
    return "unknown";
}

std::vector<PROCESS_INFORMATION> g_started;

HANDLE ProcessFor(const Args& a, size_t index)
{
    if (g_started.empty()) return nullptr;
    if (a.size() <= index) return g_started.back().hProcess;
    for (const PROCESS_INFORMATION& p : g_started)
        if (p.dwProcessId == Ms(a[index])) return p.hProcess;
    return nullptr;
}

bool OpenKeyPath(const string& path, const string& view, REGSAM access, bool create, HKEY* out)
{
    size_t slash = path.find('\\');
    string root = path.substr(0, slash);
    HKEY base = root == "HKLM" ? HKEY_LOCAL_MACHINE : root == "HKCU" ? HKEY_CURRENT_USER : nullptr;
    if (!base) return false;
    wstring sub = Widen(slash == string::npos ? string() : path.substr(slash + 1));
    access |= view == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    return (create ? RegCreateKeyExW(base, sub.c_str(), 0, nullptr, 0, access, nullptr, out, nullptr)
                   : RegOpenKeyExW(base, sub.c_str(), 0, access, out)) == ERROR_SUCCESS;
}

// A value's type, its stored bytes and, for strings, the bytes an ANSI program
// reads back, terminator included.
string ValueJson(HKEY key, const wstring& name)
{
    static unsigned char data[65536];
    DWORD type = 0, size = sizeof data;
    Reply r;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS)
        return r.Bool("exists", false).Body();
    r.Bool("exists", true).Int("type", type).Str("data_hex", Hex(data, size));
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        char nameA[1024];
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nameA, sizeof nameA, nullptr, nullptr);
        size = sizeof data;
        if (RegQueryValueExA(key, nameA, nullptr, nullptr, data, &size) == ERROR_SUCCESS)
            r.Str("ansi_hex", Hex(data, size));
    }
    return r.Body();
}

string Run(const Args& a)
{
    const string& c = a[0];
    auto arg = [&](size_t i) { return i < a.size() ? a[i] : string(); };
    HWND hwnd = ParseHandle(arg(1));
    HWND control = GetDlgItem(hwnd, (int)strtol(arg(2).c_str(), nullptr, 0));
    DWORD_PTR result = 0;
    Reply r;
    if (c == "start") {  // <command line> [cwd]
        wstring text = Widen(arg(1)), cwd = Widen(arg(2));
        std::vector<wchar_t> line(text.c_str(), text.c_str() + text.size() + 1);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
            return Error("CreateProcess failed: " + std::to_string(GetLastError()));
        g_started.push_back(pi);
        return r.Int("pid", pi.dwProcessId).Done();
    }
    if (c == "wait_exit" || c == "kill") {  // wait_exit <ms> [pid] | kill [pid]
        HANDLE process = ProcessFor(a, c == "kill" ? 1 : 2);
        if (!process) return Error("no such started process");
        if (c == "kill") TerminateProcess(process, 255);
        else if (WaitForSingleObject(process, Ms(arg(1))) != WAIT_OBJECT_0) return Error("timeout");
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return r.Int("exit_code", code).Done();
    }
    if (c == "find") {  // <ms> <class|*> <title|*> [msgbox]: the first visible top-level window
        for (DWORD start = GetTickCount();; Sleep(50)) {
            for (HWND w : VisibleTopLevel()) {
                wstring title;
                string ansi;
                if ((arg(2) == "*" || ClassOf(w) == Widen(arg(2))) &&
                    (arg(3) == "*" || (TextOf(w, &title, &ansi) && title == Widen(arg(3)))) &&
                    (arg(4) != "msgbox" || IsMessageBox(w)))
                    return r.Raw("window", WindowJson(w)).Done();
            }
            if (GetTickCount() - start >= Ms(arg(1))) return Error("timeout");
        }
    }
    if (c == "list") {
        string items;
        for (HWND w : VisibleTopLevel()) Append(items, WindowJson(w));
        return r.Raw("windows", "[" + items + "]").Done();
    }
    if (!IsWindow(hwnd) && c != "wait_gone" && c.compare(0, 3, "reg")) return Error("no such window");
    if (c == "controls") {  // <hwnd>: its direct children
        string items;
        for (HWND child : Children(hwnd))
            if (GetParent(child) == hwnd) Append(items, ControlJson(child));
        return r.Raw("controls", "[" + items + "]").Done();
    }
    if (c == "msgbox") {  // <hwnd>: title, text, visible buttons, icon
        AddText(r, "title", hwnd);
        string buttons, scores;
        for (HWND child : Children(hwnd)) {
            if (!IsClass(child, L"Button") || !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
            Reply b;
            b.Int("id", GetDlgCtrlID(child));
            AddText(b, "text", child);
            Append(buttons, b.Body());
        }
        if (HWND text = GetDlgItem(hwnd, 0xFFFF)) AddText(r, "text", text);
        string icon = IdentifyIcon(hwnd, &scores);
        return r.Raw("buttons", "[" + buttons + "]").Str("icon", icon).Str("icon_scores", scores).Done();
    }
    if (c == "click" || c == "command") {  // <hwnd> <id>: BM_CLICK to the control, or WM_COMMAND to the window
        int id = (int)strtol(arg(2).c_str(), nullptr, 0);
        if (c == "click" && !control) return Error("no such control");
        bool finished = c == "click"
            ? SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kHandlerWaitMs, &result)
            : SendMessageTimeoutW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control, SMTO_NORMAL,
                                  kHandlerWaitMs, &result);
        return r.Bool("finished", finished).Done();
    }
    if (c == "settext") {  // <hwnd> <id> <text>
        if (!control) return Error("no such control");
        if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)Widen(arg(3)).c_str(), SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &result))
            return Error("window does not answer");
        return r.Done();
    }
    if (c == "gettext") {  // <hwnd> [id]
        if (a.size() > 2 && !control) return Error("no such control");
        AddText(r, "text", a.size() > 2 ? control : hwnd);
        return r.Done();
    }
    if (c == "wait_gone") {  // <ms> <hwnd>: until destroyed or hidden
        for (DWORD start = GetTickCount(); IsWindow(ParseHandle(arg(2))) && IsWindowVisible(ParseHandle(arg(2)));
             Sleep(50))
            if (GetTickCount() - start >= Ms(arg(1))) return Error("timeout");
        return r.Done();
    }
    if (c == "close") return PostMessageW(hwnd, WM_CLOSE, 0, 0) ? r.Done() : Error("no such window");
    HKEY key;
    if (c == "regquery") {  // <key> <value|*> <32|64>
        if (!OpenKeyPath(arg(1), arg(3), KEY_READ, false, &key)) return r.Bool("key_exists", false).Bool("exists", false).Done();
        r.Bool("key_exists", true);
        if (arg(2) != "*") {
            string v = ValueJson(key, Widen(arg(2)));
            RegCloseKey(key);
            return "{\"ok\":true" + r.body + "," + v.substr(1);
        }
        string values, subkeys;
        wchar_t name[16384];
        for (DWORD i = 0, n = 16384; RegEnumValueW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) == 0;
             i++, n = 16384)
            Append(values, string("{\"name\":") + Quote(Narrow(wstring(name, n))) + "," +
                               ValueJson(key, wstring(name, n)).substr(1));
        for (DWORD i = 0, n = 256; RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) == 0;
             i++, n = 256)
            Append(subkeys, Quote(Narrow(wstring(name, n))));
        RegCloseKey(key);
        return r.Raw("values", "[" + values + "]").Raw("subkeys", "[" + subkeys + "]").Done();
    }
    if (c == "regset") {  // <key> <value> <type> <data hex> <32|64>
        if (!OpenKeyPath(arg(1), arg(5), KEY_WRITE, true, &key)) return Error("cannot open key");
        // The A call takes string data as ANSI bytes, like the program's own writes.
        string data = Decode(arg(4), true);
        LONG rc = RegSetValueExA(key, arg(2).empty() ? nullptr : arg(2).c_str(), 0, Ms(arg(3)),
                                 (const BYTE*)data.data(), (DWORD)data.size());
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? r.Done() : Error("RegSetValueEx failed: " + std::to_string(rc));
    }
    if (c == "regdelete") {  // <key> <value|*> <32|64>: one value, or the whole key
        bool whole = arg(2) == "*";
        size_t cut = arg(1).rfind('\\');
        if (cut == string::npos || !OpenKeyPath(whole ? arg(1).substr(0, cut) : arg(1), arg(3),
                                                KEY_ALL_ACCESS, false, &key))
            return Error("cannot open key");
        LONG rc = whole ? (LONG)SHDeleteKeyW(key, Widen(arg(1).substr(cut + 1)).c_str())
                        : RegDeleteValueW(key, Widen(arg(2)).c_str());
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? r.Done() : Error("delete failed: " + std::to_string(rc));
    }
    return Error("unknown command: " + c);
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
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) SetStdHandle(which, nul);
    auto reply = [out](const string& s) {
        DWORD written;
        WriteFile(out, (s + "\n").data(), (DWORD)s.size() + 1, &written, nullptr);
    };
    reply(Reply().Str("ready", "uidrv").Done());
    FILE* commands = _fdopen(_open_osfhandle((intptr_t)in, _O_RDONLY), "rb");
    for (char buf[65536]; fgets(buf, sizeof buf, commands);) {
        string line = buf;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        Args args;
        char sep = line.find('\t') != string::npos ? '\t' : ' ';
        for (size_t pos = 0, next = 0; next != string::npos; pos = next + 1) {
            next = line.find(sep, pos);
            args.push_back(Decode(line.substr(pos, next == string::npos ? string::npos : next - pos)));
        }
        if (args[0] == "quit") break;
        reply(Run(args));
    }
    reply(Reply().Done());
}
