// UI driver for end-to-end tests: a console program that runs inside the test's
// Wine prefix and drives other programs' windows on the test's behalf.
//
// Protocol: one command per line on stdin (UTF-8), one JSON object per line on
// stdout. Fields are separated by TAB; a line without TAB is split at spaces
// (handy when typing by hand). Inside a field "%XX" stands for the byte 0xXX,
// so that TAB, line breaks and '%' itself can be passed. Every reply carries
// "ok"; a failed command carries "error". Window handles are decimal numbers.
// Every wait takes a timeout in milliseconds and polls; nothing blocks forever
// except reading the next command.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using std::string;
using std::wstring;

// ---- text conversions -------------------------------------------------------

wstring Widen(const string& utf8) {
  if (utf8.empty()) return wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
  wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &w[0], n);
  return w;
}

string Narrow(const wstring& w) {
  if (w.empty()) return string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

string Hex(const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char* p = (const unsigned char*)data;
  string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; i++) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Returns 0 for text that is not an even run of hex digits.
int Unhex(const string& hex, string* out) {
  if (hex.size() % 2) return 0;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return 0;
    *out += (char)(hi * 16 + lo);
  }
  return 1;
}

string PercentDecode(const string& field) {
  string out;
  for (size_t i = 0; i < field.size(); i++) {
    if (field[i] == '%' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 &&
        HexValue(field[i + 2]) >= 0) {
      out += (char)(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

// ---- JSON reply -------------------------------------------------------------

// Builds one reply object; text values are UTF-8 and escaped for JSON.
class Reply {
 public:
  Reply() : body_("{\"ok\":true") {}
  Reply& Str(const char* key, const string& value) {
    Key(key);
    body_ += Quote(value);
    return *this;
  }
  Reply& Int(const char* key, long long value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
  }
  Reply& Bool(const char* key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
  }
  Reply& Raw(const char* key, const string& json) {
    Key(key);
    body_ += json;
    return *this;
  }
  string Done() const { return body_ + "}"; }

  static string Quote(const string& s) {
    string out = "\"";
    for (unsigned char c : s) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += (char)c;
      } else if (c < 0x20) {
        char buf[8];
        snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += (char)c;
      }
    }
    return out + "\"";
  }

 private:
  void Key(const char* key) {
    body_ += ",\"";
    body_ += key;
    body_ += "\":";
  }
  string body_;
};

string Error(const string& message) {
  return "{\"ok\":false,\"error\":" + Reply::Quote(message) + "}";
}

// ---- window helpers ---------------------------------------------------------

const UINT kSendTimeoutMs = 3000;

HWND ParseHandle(const string& text) { return (HWND)(uintptr_t)strtoull(text.c_str(), nullptr, 0); }

string HandleText(HWND hwnd) { return std::to_string((unsigned long long)(uintptr_t)hwnd); }

wstring ClassOf(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return wstring(buf, n > 0 ? n : 0);
}

// The window text as stored with the window. Reading it sends no message, so
// it works while the owning program is busy (the wizard during the copy).
// `ansi` receives the same text in the ANSI code page, exactly as an ANSI
// program reads it back.
void StoredTextOf(HWND hwnd, wstring* wide, string* ansi) {
  std::vector<wchar_t> w(65536);
  int n = GetWindowTextW(hwnd, w.data(), (int)w.size());
  *wide = wstring(w.data(), n > 0 ? n : 0);
  std::vector<char> a(131072);
  n = GetWindowTextA(hwnd, a.data(), (int)a.size());
  *ansi = string(a.data(), n > 0 ? n : 0);
}

bool KeepsOwnText(HWND hwnd);

// Edit fields keep their text to themselves: only WM_GETTEXT reaches it, and
// that needs the owner to answer. Everything else uses the stored text.
int TextOf(HWND hwnd, wstring* wide, string* ansi) {
  if (!KeepsOwnText(hwnd)) {
    StoredTextOf(hwnd, wide, ansi);
    return 1;
  }
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
    return 0;
  std::vector<wchar_t> w(len + 2);
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, len + 1, (LPARAM)w.data(), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &got))
    return 0;
  *wide = wstring(w.data(), got);
  // Two bytes per character is the most an ANSI double-byte code page needs.
  std::vector<char> a(len * 2 + 2);
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, len * 2 + 1, (LPARAM)a.data(), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &got))
    return 0;
  *ansi = string(a.data(), got);
  return 1;
}

// Adds "<prefix>" (UTF-8) and "<prefix>_hex" (ANSI bytes) for a window's text.
void AddText(Reply& r, const char* key, HWND hwnd) {
  wstring wide;
  string ansi;
  if (!TextOf(hwnd, &wide, &ansi)) {
    r.Bool("text_unreadable", true);
    return;
  }
  string hexKey = string(key) + "_hex";
  r.Str(key, Narrow(wide)).Str(hexKey.c_str(), Hex(ansi.data(), ansi.size()));
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

string WindowJson(HWND hwnd) {
  Reply r;
  r.Str("hwnd", HandleText(hwnd)).Str("class", Narrow(ClassOf(hwnd)));
  AddText(r, "title", hwnd);
  r.Int("pid", ProcessOf(hwnd)).Bool("visible", IsWindowVisible(hwnd) != 0);
  string s = r.Done();
  return "{" + s.substr(s.find(',') + 1);  // a nested object without "ok"
}

struct FindQuery {
  wstring cls;    // empty: any class
  wstring title;  // empty with anyTitle: any title
  bool anyTitle;
  bool messageBox;  // only message boxes
  HWND found;
};

bool IsMessageBox(HWND hwnd);

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
  FindQuery* q = (FindQuery*)param;
  if (!IsWindowVisible(hwnd)) return TRUE;
  if (!q->cls.empty() && ClassOf(hwnd) != q->cls) return TRUE;
  if (!q->anyTitle) {
    wstring wide;
    string ansi;
    if (!TextOf(hwnd, &wide, &ansi) || wide != q->title) return TRUE;
  }
  if (q->messageBox && !IsMessageBox(hwnd)) return TRUE;
  q->found = hwnd;
  return FALSE;
}

HWND FindVisible(DWORD timeoutMs, const wstring& cls, const wstring& title, bool anyTitle,
                 bool messageBox) {
  DWORD start = GetTickCount();
  for (;;) {
    FindQuery q = {cls, title, anyTitle, messageBox, nullptr};
    EnumWindows(MatchTopLevel, (LPARAM)&q);
    if (q.found) return q.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  ((std::vector<HWND>*)param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> list;
  EnumChildWindows(parent, CollectWindow, (LPARAM)&list);
  return list;
}

unsigned ControlId(HWND hwnd) { return (unsigned)GetDlgCtrlID(hwnd) & 0xFFFF; }

bool IsClass(HWND hwnd, const wchar_t* name) { return lstrcmpiW(ClassOf(hwnd).c_str(), name) == 0; }

// The platform's message box: a dialog of statics and buttons whose text is
// the static 0xFFFF. The wizard shares its title with its message boxes but
// has other controls, so the two can't be mistaken for each other.
bool IsMessageBox(HWND hwnd) {
  if (ClassOf(hwnd) != L"#32770") return false;
  HWND text = GetDlgItem(hwnd, 0xFFFF);
  if (!text || !IsClass(text, L"Static")) return false;
  for (HWND child : Children(hwnd))
    if (!IsClass(child, L"Static") && !IsClass(child, L"Button")) return false;
  return true;
}

bool KeepsOwnText(HWND hwnd) {
  return IsClass(hwnd, L"Edit") || IsClass(hwnd, L"ComboBox") || IsClass(hwnd, L"RichEdit20A") ||
         IsClass(hwnd, L"RichEdit20W");
}

string ControlJson(HWND hwnd) {
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  Reply r;
  r.Int("id", ControlId(hwnd)).Str("hwnd", HandleText(hwnd)).Str("class", Narrow(ClassOf(hwnd)));
  AddText(r, "text", hwnd);
  r.Bool("visible", (style & WS_VISIBLE) != 0)
      .Bool("shown", IsWindowVisible(hwnd) != 0)
      .Bool("enabled", IsWindowEnabled(hwnd) != 0)
      .Int("style", (unsigned long)style)
      .Int("exstyle", (unsigned long)GetWindowLongW(hwnd, GWL_EXSTYLE));
  DWORD_PTR value = 0;
  if (IsClass(hwnd, L"Button")) {
    LONG kind = style & BS_TYPEMASK;
    if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON && kind != BS_GROUPBOX &&
        SendMessageTimeoutW(hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
      r.Int("checked", (long long)value);
    r.Bool("default", kind == BS_DEFPUSHBUTTON);
  } else if (IsClass(hwnd, L"Static")) {
    LONG kind = style & SS_TYPEMASK;
    if (kind == SS_BITMAP &&
        SendMessageTimeoutW(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
      r.Bool("has_image", value != 0);
    if (kind == SS_ICON &&
        SendMessageTimeoutW(hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
      r.Bool("has_image", value != 0);
  } else if (IsClass(hwnd, L"msctls_progress32")) {
    if (SendMessageTimeoutW(hwnd, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value))
      r.Int("pos", (long long)value);
  }
  string s = r.Done();
  return "{" + s.substr(s.find(',') + 1);
}

// ---- screen pixels (message box icons, captures) ------------------------------

struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> data;  // 0x00RRGGBB, top row first
};

HBITMAP MakeSection(HDC dc, int width, int height, uint32_t** bits) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void**)bits, nullptr, 0);
}

int CaptureScreen(const RECT& rc, Pixels* out) {
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  uint32_t* bits = nullptr;
  HBITMAP bmp = MakeSection(screen, w, h, &bits);
  int ok = 0;
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    ok = BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY) != 0;
    GdiFlush();
    if (ok) {
      out->width = w;
      out->height = h;
      out->data.assign(bits, bits + (size_t)w * h);
      for (uint32_t& p : out->data) p &= 0xFFFFFF;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

// Draws `icon` on a plain background the way a static icon control does.
Pixels RenderIcon(HICON icon, int width, int height, uint32_t background) {
  Pixels out;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  uint32_t* bits = nullptr;
  HBITMAP bmp = MakeSection(screen, width, height, &bits);
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    for (int i = 0; i < width * height; i++) bits[i] = background;
    DrawIconEx(mem, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    GdiFlush();
    out.width = width;
    out.height = height;
    out.data.assign(bits, bits + (size_t)width * height);
    for (uint32_t& p : out.data) p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return out;
}

int PixelDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d += abs((int)((a >> shift) & 255) - (int)((b >> shift) & 255));
  return d;
}

// Which standard icon a message box shows. Icon handles can't be compared
// across processes, so the control's pixels on the screen are compared with
// each standard icon drawn here; the closest one wins when it is close enough.
string IdentifyIcon(HWND box, string* detail) {
  HWND iconControl = nullptr;
  for (HWND child : Children(box)) {
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (IsClass(child, L"Static") && (style & SS_TYPEMASK) == SS_ICON) iconControl = child;
  }
  if (!iconControl || !IsWindowVisible(iconControl)) return "none";
  DWORD_PTR handle = 0;
  if (SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle) &&
      handle == 0)
    return "none";

  static const struct {
    const char* name;
    LPCSTR id;
  } kinds[] = {{"error", IDI_HAND}, {"question", IDI_QUESTION}, {"warning", IDI_EXCLAMATION},
               {"info", IDI_ASTERISK}};
  string best = "unknown";
  // A freshly shown box may not be painted yet (a loaded machine takes its
  // time): look again for up to about five seconds.
  for (int attempt = 0; attempt < 50; attempt++) {
    RECT rc;
    GetWindowRect(iconControl, &rc);
    Pixels shot;
    if (!CaptureScreen(rc, &shot)) return "unknown";
    long bestScore = -1, secondScore = -1;
    string bestName;
    detail->clear();
    for (const auto& kind : kinds) {
      Pixels ref = RenderIcon(LoadIconA(nullptr, kind.id), shot.width, shot.height, shot.data[0]);
      if (ref.data.size() != shot.data.size()) continue;
      long score = 0;
      for (size_t i = 0; i < shot.data.size(); i++)
        if (PixelDistance(shot.data[i], ref.data[i]) > 60) score++;
      *detail += string(kind.name) + "=" + std::to_string(score) + " ";
      if (bestScore < 0 || score < bestScore) {
        secondScore = bestScore;
        bestScore = score;
        bestName = kind.name;
      } else if (secondScore < 0 || score < secondScore) {
        secondScore = score;
      }
    }
    long pixels = (long)shot.data.size();
    if (bestScore >= 0 && bestScore * 10 <= pixels && bestScore * 3 < secondScore) return bestName;
    // Another window may cover the box (an Explorer window the program opened):
    // lift it to the top, without activating it, and look again.
    if (attempt == 2)
      SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(100);
  }
  return best;
}

int WriteBmp(const char* path, const Pixels& p) {
  int rowBytes = (p.width * 3 + 3) & ~3;
  uint32_t imageSize = (uint32_t)rowBytes * p.height;
  BITMAPFILEHEADER fh = {};
  BITMAPINFOHEADER ih = {};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + imageSize;
  ih.biSize = sizeof ih;
  ih.biWidth = p.width;
  ih.biHeight = p.height;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = imageSize;
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(&fh, sizeof fh, 1, f);
  fwrite(&ih, sizeof ih, 1, f);
  std::vector<unsigned char> row(rowBytes, 0);
  for (int y = p.height - 1; y >= 0; y--) {
    for (int x = 0; x < p.width; x++) {
      uint32_t c = p.data[(size_t)y * p.width + x];
      row[x * 3] = c & 255;
      row[x * 3 + 1] = (c >> 8) & 255;
      row[x * 3 + 2] = (c >> 16) & 255;
    }
    fwrite(row.data(), 1, rowBytes, f);
  }
  return fclose(f) == 0;
}

// ---- test windows ------------------------------------------------------------

// A window made by `window` lives on its own thread with its own message loop,
// so it answers other programs while this driver waits for the next command.
struct TestWindow {
  wstring cls, title;
  int show;
  HANDLE ready;
  HWND hwnd;
  DWORD threadId;
};

const UINT kDestroyTestWindow = WM_APP + 1;

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd, msg, wp, lp);
}

DWORD WINAPI TestWindowThread(void* param) {
  TestWindow* t = (TestWindow*)param;
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread a queue
  t->threadId = GetCurrentThreadId();
  if (t->cls != L"#32770") {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = t->cls.c_str();
    RegisterClassW(&wc);  // fails harmlessly when the class is already known
  }
  t->hwnd = CreateWindowExW(0, t->cls.c_str(), t->title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320,
                            200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND mine = t->hwnd;
  if (mine) ShowWindow(mine, t->show);
  SetEvent(t->ready);
  if (!mine) return 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!msg.hwnd && msg.message == kDestroyTestWindow) {
      DestroyWindow((HWND)msg.lParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

struct OwnedWindow {
  HWND hwnd;
  DWORD threadId;
  HANDLE thread;
};
std::vector<OwnedWindow> g_testWindows;

// ---- processes ---------------------------------------------------------------

struct Started {
  DWORD pid;
  HANDLE process;
};
std::vector<Started> g_started;

HANDLE ProcessFor(const string& pidText) {
  if (g_started.empty()) return nullptr;
  if (pidText.empty()) return g_started.back().process;
  DWORD pid = (DWORD)strtoul(pidText.c_str(), nullptr, 0);
  for (const Started& s : g_started)
    if (s.pid == pid) return s.process;
  return nullptr;
}

// ---- registry ----------------------------------------------------------------

int OpenKeyPath(const string& path, REGSAM access, bool create, HKEY* out) {
  size_t slash = path.find('\\');
  string root = path.substr(0, slash);
  string rest = slash == string::npos ? string() : path.substr(slash + 1);
  HKEY base;
  if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") base = HKEY_LOCAL_MACHINE;
  else if (root == "HKCU" || root == "HKEY_CURRENT_USER") base = HKEY_CURRENT_USER;
  else if (root == "HKCR" || root == "HKEY_CLASSES_ROOT") base = HKEY_CLASSES_ROOT;
  else if (root == "HKU" || root == "HKEY_USERS") base = HKEY_USERS;
  else return 0;
  wstring sub = Widen(rest);
  LONG rc = create ? RegCreateKeyExW(base, sub.c_str(), 0, nullptr, 0, access, nullptr, out, nullptr)
                   : RegOpenKeyExW(base, sub.c_str(), 0, access, out);
  return rc == ERROR_SUCCESS;
}

REGSAM ViewFlag(const string& view) { return view == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

string ValueJson(HKEY key, const wstring& name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return Reply().Bool("exists", false).Done();
  std::vector<unsigned char> data(size + 2);
  RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
  Reply r;
  r.Bool("exists", true).Int("type", type).Str("data_hex", Hex(data.data(), size));
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    // The bytes an ANSI program reads back, terminator included.
    string nameA;
    int n = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    nameA.resize(n);
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, &nameA[0], n, nullptr, nullptr);
    DWORD sizeA = 0;
    RegQueryValueExA(key, nameA.c_str(), nullptr, nullptr, nullptr, &sizeA);
    std::vector<unsigned char> a(sizeA + 2);
    if (RegQueryValueExA(key, nameA.c_str(), nullptr, nullptr, a.data(), &sizeA) == ERROR_SUCCESS)
      r.Str("ansi_hex", Hex(a.data(), sizeA));
  }
  return r.Done();
}

// ---- commands ----------------------------------------------------------------

using Args = std::vector<string>;

DWORD Ms(const string& s) { return (DWORD)strtoul(s.c_str(), nullptr, 10); }

string Need(const Args& a, size_t n, const char* usage) {
  return a.size() < n + 1 ? Error(string("usage: ") + usage) : string();
}

HWND Control(HWND parent, const string& idText) {
  return GetDlgItem(parent, (int)strtol(idText.c_str(), nullptr, 0));
}

string CmdStart(const Args& a) {
  if (string e = Need(a, 1, "start <command line> [cwd]"); !e.empty()) return e;
  wstring cmd = Widen(a[1]);
  wstring cwd = a.size() > 2 ? Widen(a[2]) : wstring();
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    return Error("CreateProcess failed: " + std::to_string(GetLastError()));
  CloseHandle(pi.hThread);
  g_started.push_back({pi.dwProcessId, pi.hProcess});
  return Reply().Int("pid", pi.dwProcessId).Done();
}

string CmdWaitExit(const Args& a) {
  if (string e = Need(a, 1, "wait_exit <ms> [pid]"); !e.empty()) return e;
  HANDLE process = ProcessFor(a.size() > 2 ? a[2] : string());
  if (!process) return Error("no such started process");
  if (WaitForSingleObject(process, Ms(a[1])) != WAIT_OBJECT_0) return Error("timeout");
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return Reply().Int("exit_code", code).Done();
}

string CmdKill(const Args& a) {
  HANDLE process = ProcessFor(a.size() > 1 ? a[1] : string());
  if (!process) return Error("no such started process");
  TerminateProcess(process, 255);
  return Reply().Done();
}

string CmdFind(const Args& a, bool dialog, bool messageBox = false) {
  wstring cls, title;
  bool anyTitle;
  if (dialog) {
    if (string e = Need(a, 2, "find_dialog|find_msgbox <ms> <title>"); !e.empty()) return e;
    cls = L"#32770";
    title = Widen(a[2]);
    anyTitle = a[2] == "*";
  } else {
    if (string e = Need(a, 3, "find <ms> <class|*> <title|*>"); !e.empty()) return e;
    cls = a[2] == "*" ? wstring() : Widen(a[2]);
    title = Widen(a[3]);
    anyTitle = a[3] == "*";
  }
  HWND hwnd = FindVisible(Ms(a[1]), cls, title, anyTitle, messageBox);
  if (!hwnd) return Error("timeout");
  return Reply().Raw("window", WindowJson(hwnd)).Done();
}

string CmdList(const Args&) {
  std::vector<HWND> all;
  EnumWindows(CollectWindow, (LPARAM)&all);
  string items;
  for (HWND hwnd : all) {
    if (!IsWindowVisible(hwnd)) continue;
    if (!items.empty()) items += ",";
    items += WindowJson(hwnd);
  }
  return Reply().Raw("windows", "[" + items + "]").Done();
}

string CmdControls(const Args& a) {
  if (string e = Need(a, 1, "controls <hwnd>"); !e.empty()) return e;
  HWND parent = ParseHandle(a[1]);
  if (!IsWindow(parent)) return Error("no such window");
  string items;
  for (HWND child : Children(parent)) {
    if (GetParent(child) != parent) continue;  // direct children only
    if (!items.empty()) items += ",";
    items += ControlJson(child);
  }
  return Reply().Raw("controls", "[" + items + "]").Done();
}

string CmdMsgbox(const Args& a) {
  if (string e = Need(a, 1, "msgbox <hwnd>"); !e.empty()) return e;
  HWND box = ParseHandle(a[1]);
  if (!IsWindow(box)) return Error("no such window");
  Reply r;
  AddText(r, "title", box);
  HWND textControl = GetDlgItem(box, 0xFFFF);
  string buttons;
  for (HWND child : Children(box)) {
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!textControl && IsClass(child, L"Static") && (style & SS_TYPEMASK) != SS_ICON)
      textControl = child;
    if (IsClass(child, L"Button") && (style & WS_VISIBLE)) {
      if (!buttons.empty()) buttons += ",";
      Reply b;
      b.Int("id", ControlId(child));
      AddText(b, "text", child);
      string s = b.Done();
      buttons += "{" + s.substr(s.find(',') + 1);
    }
  }
  if (textControl) AddText(r, "text", textControl);
  string detail;
  r.Raw("buttons", "[" + buttons + "]").Str("icon", IdentifyIcon(box, &detail)).Str("icon_scores", detail);
  return r.Done();
}

// Clicks and typed characters are sent, not posted: the reply comes after the
// program has handled them (a message box pressed is hidden by then), so the
// next command sees their effect and not the window as it was. A handler that
// runs on (a modal loop, the copy) is left running after this long:
const UINT kHandlerWaitMs = 2000;

string CmdClick(const Args& a, bool viaCommand) {
  if (string e = Need(a, 2, "click <hwnd> <id>"); !e.empty()) return e;
  HWND parent = ParseHandle(a[1]);
  HWND control = Control(parent, a[2]);
  int id = (int)strtol(a[2].c_str(), nullptr, 0);
  DWORD_PTR result = 0;
  if (viaCommand) {
    if (!IsWindow(parent)) return Error("no such window");
    bool finished = SendMessageTimeoutW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control,
                                        SMTO_NORMAL, kHandlerWaitMs, &result) != 0;
    return Reply().Bool("finished", finished).Done();
  }
  if (!control) return Error("no such control");
  bool enabled = IsWindowEnabled(control) != 0, visible = IsWindowVisible(control) != 0;
  bool finished =
      SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kHandlerWaitMs, &result) != 0;
  return Reply().Bool("enabled", enabled).Bool("visible", visible).Bool("finished", finished).Done();
}

string CmdSetText(const Args& a, bool hexBytes) {
  if (string e = Need(a, 3, "settext <hwnd> <id> <text>"); !e.empty()) return e;
  HWND control = Control(ParseHandle(a[1]), a[2]);
  if (!control) return Error("no such control");
  DWORD_PTR result = 0;
  BOOL sent;
  if (hexBytes) {
    string bytes;
    if (!Unhex(a[3], &bytes)) return Error("bad hex");
    sent = SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)bytes.c_str(), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &result);
  } else {
    wstring text = Widen(a[3]);
    sent = SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &result);
  }
  if (!sent) return Error("window does not answer");
  return Reply().Done();
}

string CmdType(const Args& a) {
  if (string e = Need(a, 3, "type <hwnd> <id> <text>"); !e.empty()) return e;
  HWND control = Control(ParseHandle(a[1]), a[2]);
  if (!control) return Error("no such control");
  DWORD_PTR result = 0;
  for (wchar_t c : Widen(a[3]))
    if (!SendMessageTimeoutW(control, WM_CHAR, c, 1, SMTO_NORMAL, kHandlerWaitMs, &result))
      return Error("window does not answer");
  return Reply().Done();
}

string CmdGetText(const Args& a) {
  if (string e = Need(a, 1, "gettext <hwnd> [id]"); !e.empty()) return e;
  HWND hwnd = ParseHandle(a[1]);
  if (a.size() > 2) hwnd = Control(hwnd, a[2]);
  if (!hwnd) return Error("no such control");
  Reply r;
  AddText(r, "text", hwnd);
  return r.Done();
}

string CmdWaitGone(const Args& a) {
  if (string e = Need(a, 2, "wait_gone <ms> <hwnd>"); !e.empty()) return e;
  HWND hwnd = ParseHandle(a[2]);
  DWORD start = GetTickCount();
  while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
    if (GetTickCount() - start >= Ms(a[1])) return Error("timeout");
    Sleep(50);
  }
  return Reply().Done();
}

string CmdClose(const Args& a) {
  if (string e = Need(a, 1, "close <hwnd>"); !e.empty()) return e;
  if (!PostMessageW(ParseHandle(a[1]), WM_CLOSE, 0, 0)) return Error("no such window");
  return Reply().Done();
}

string CmdWindow(const Args& a) {
  if (string e = Need(a, 2, "window <class> <title> [normal|minimized|hidden]"); !e.empty()) return e;
  TestWindow* t = new TestWindow();  // owned by its thread for the window's life
  t->cls = Widen(a[1]);
  t->title = Widen(a[2]);
  string show = a.size() > 3 ? a[3] : "normal";
  t->show = show == "minimized" ? SW_SHOWMINNOACTIVE : show == "hidden" ? SW_HIDE : SW_SHOWNORMAL;
  t->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, TestWindowThread, t, 0, nullptr);
  if (!thread || WaitForSingleObject(t->ready, 10000) != WAIT_OBJECT_0)
    return Error("test window thread did not start");
  if (!t->hwnd) return Error("CreateWindow failed");
  g_testWindows.push_back({t->hwnd, t->threadId, thread});
  return Reply().Str("hwnd", HandleText(t->hwnd)).Done();
}

string CmdDestroy(const Args& a) {
  if (string e = Need(a, 1, "destroy <hwnd>"); !e.empty()) return e;
  HWND hwnd = ParseHandle(a[1]);
  for (size_t i = 0; i < g_testWindows.size(); i++) {
    if (g_testWindows[i].hwnd != hwnd) continue;
    PostThreadMessageW(g_testWindows[i].threadId, kDestroyTestWindow, 0, (LPARAM)hwnd);
    WaitForSingleObject(g_testWindows[i].thread, 5000);
    CloseHandle(g_testWindows[i].thread);
    g_testWindows.erase(g_testWindows.begin() + i);
    return Reply().Done();
  }
  return Error("not a window of this driver");
}

string CmdForeground(const Args& a) {
  if (string e = Need(a, 1, "foreground <hwnd>"); !e.empty()) return e;
  HWND hwnd = ParseHandle(a[1]);
  HWND fg = GetForegroundWindow();
  return Reply().Bool("foreground", fg == hwnd)
      .Bool("visible", IsWindowVisible(hwnd) != 0)
      .Bool("iconic", IsIconic(hwnd) != 0)
      .Str("foreground_hwnd", HandleText(fg))
      .Done();
}

string CmdCapture(const Args& a) {
  if (string e = Need(a, 2, "capture <hwnd|0> <file.bmp>"); !e.empty()) return e;
  HWND hwnd = ParseHandle(a[1]);
  RECT rc;
  if (hwnd) {
    if (!GetWindowRect(hwnd, &rc)) return Error("no such window");
  } else {
    SetRect(&rc, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  }
  // Texts are read without the program's help, so a test may get here
  // before the window has been painted. Wait until the program is back in its
  // message loop, then until two captures in a row agree.
  if (hwnd) {
    DWORD_PTR ignored;
    SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
  }
  Pixels p, previous;
  for (int attempt = 0; attempt < 30; attempt++) {
    Sleep(150);
    if (!CaptureScreen(rc, &p)) return Error("capture failed");
    if (attempt > 0 && p.data == previous.data) break;
    previous = p;
  }
  if (!WriteBmp(a[2].c_str(), p)) return Error("cannot write file");
  return Reply().Int("width", p.width).Int("height", p.height).Done();
}

string CmdRegQuery(const Args& a) {
  if (string e = Need(a, 3, "regquery <key> <value|*> <32|64>"); !e.empty()) return e;
  HKEY key;
  if (!OpenKeyPath(a[1], KEY_READ | ViewFlag(a[3]), false, &key))
    return Reply().Bool("key_exists", false).Bool("exists", false).Done();
  string out;
  if (a[2] != "*") {
    out = ValueJson(key, Widen(a[2]));
    out.insert(out.size() - 1, ",\"key_exists\":true");
  } else {
    string items;
    for (DWORD i = 0;; i++) {
      wchar_t name[16384];
      DWORD len = 16384;
      if (RegEnumValueW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (!items.empty()) items += ",";
      string v = ValueJson(key, wstring(name, len));
      items += "{\"name\":" + Reply::Quote(Narrow(wstring(name, len))) + "," + v.substr(1);
    }
    string subkeys;
    for (DWORD i = 0;; i++) {
      wchar_t name[256];
      DWORD len = 256;
      if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (!subkeys.empty()) subkeys += ",";
      subkeys += Reply::Quote(Narrow(wstring(name, len)));
    }
    out = Reply().Bool("key_exists", true).Raw("values", "[" + items + "]")
              .Raw("subkeys", "[" + subkeys + "]").Done();
  }
  RegCloseKey(key);
  return out;
}

string CmdRegSet(const Args& a) {
  if (string e = Need(a, 5, "regset <key> <value> <type> <data hex> <32|64>"); !e.empty()) return e;
  string data;
  if (!Unhex(a[4], &data)) return Error("bad hex");
  HKEY key;
  if (!OpenKeyPath(a[1], KEY_WRITE | ViewFlag(a[5]), true, &key)) return Error("cannot open key");
  // The A call, so that string data is taken as ANSI bytes like the program's own writes.
  LONG rc = RegSetValueExA(key, a[2].empty() ? nullptr : a[2].c_str(), 0, strtoul(a[3].c_str(), nullptr, 0),
                           (const BYTE*)data.data(), (DWORD)data.size());
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? Reply().Done() : Error("RegSetValueEx failed: " + std::to_string(rc));
}

string CmdRegDelete(const Args& a) {
  if (string e = Need(a, 3, "regdelete <key> <value|*> <32|64>"); !e.empty()) return e;
  if (a[2] == "*") {
    size_t slash = a[1].find('\\');
    HKEY parent;
    string parentPath = a[1].substr(0, a[1].rfind('\\'));
    string leaf = a[1].substr(a[1].rfind('\\') + 1);
    if (slash == string::npos || !OpenKeyPath(parentPath, KEY_ALL_ACCESS | ViewFlag(a[3]), false, &parent))
      return Error("cannot open parent key");
    LONG rc = (LONG)SHDeleteKeyW(parent, Widen(leaf).c_str());
    RegCloseKey(parent);
    return rc == ERROR_SUCCESS ? Reply().Done() : Error("SHDeleteKey failed: " + std::to_string(rc));
  }
  HKEY key;
  if (!OpenKeyPath(a[1], KEY_WRITE | ViewFlag(a[3]), false, &key)) return Error("cannot open key");
  LONG rc = RegDeleteValueW(key, Widen(a[2]).c_str());
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? Reply().Done() : Error("RegDeleteValue failed: " + std::to_string(rc));
}

string CmdDrive(const Args& a) {
  if (string e = Need(a, 1, "drive <letter>"); !e.empty()) return e;
  wchar_t root[] = L"?:\\";
  root[0] = (wchar_t)toupper((unsigned char)a[1][0]);
  bool present = (GetLogicalDrives() >> (root[0] - L'A')) & 1;
  return Reply().Bool("present", present).Int("type", GetDriveTypeW(root)).Done();
}

string CmdExists(const Args& a) {
  if (string e = Need(a, 1, "exists <path>"); !e.empty()) return e;
  DWORD attributes = GetFileAttributesW(Widen(a[1]).c_str());
  Reply r;
  r.Bool("exists", attributes != INVALID_FILE_ATTRIBUTES);
  if (attributes != INVALID_FILE_ATTRIBUTES) r.Int("attributes", attributes);
  return r.Done();
}

string CmdInfo(const Args&) {
  return Reply().Int("acp", GetACP()).Int("pid", GetCurrentProcessId()).Done();
}

string Dispatch(const Args& a) {
  const string& c = a[0];
  if (c == "start") return CmdStart(a);
  if (c == "wait_exit") return CmdWaitExit(a);
  if (c == "kill") return CmdKill(a);
  if (c == "find") return CmdFind(a, false);
  if (c == "find_dialog") return CmdFind(a, true);
  if (c == "find_msgbox") return CmdFind(a, true, true);
  if (c == "list") return CmdList(a);
  if (c == "controls") return CmdControls(a);
  if (c == "msgbox") return CmdMsgbox(a);
  if (c == "click") return CmdClick(a, false);
  if (c == "command") return CmdClick(a, true);
  if (c == "settext") return CmdSetText(a, false);
  if (c == "settext_hex") return CmdSetText(a, true);
  if (c == "type") return CmdType(a);
  if (c == "gettext") return CmdGetText(a);
  if (c == "wait_gone") return CmdWaitGone(a);
  if (c == "close") return CmdClose(a);
  if (c == "window") return CmdWindow(a);
  if (c == "destroy") return CmdDestroy(a);
  if (c == "foreground") return CmdForeground(a);
  if (c == "capture") return CmdCapture(a);
  if (c == "regquery") return CmdRegQuery(a);
  if (c == "regset") return CmdRegSet(a);
  if (c == "regdelete") return CmdRegDelete(a);
  if (c == "drive") return CmdDrive(a);
  if (c == "exists") return CmdExists(a);
  if (c == "info") return CmdInfo(a);
  return Error("unknown command: " + c);
}

Args SplitLine(const string& line) {
  Args out;
  char sep = line.find('\t') != string::npos ? '\t' : ' ';
  size_t pos = 0;
  for (;;) {
    size_t next = line.find(sep, pos);
    out.push_back(PercentDecode(line.substr(pos, next == string::npos ? string::npos : next - pos)));
    if (next == string::npos) break;
    pos = next + 1;
  }
  return out;
}

HANDLE g_replies = INVALID_HANDLE_VALUE;

void WriteLine(const string& s) {
  string line = s + "\n";
  DWORD written;
  WriteFile(g_replies, line.data(), (DWORD)line.size(), &written, nullptr);
}

// Console programs started further down the line (a batch file's cmd.exe)
// would otherwise write into the reply stream or read commands: the protocol
// keeps private copies of the pipes and the standard handles point at NUL.
void TakeProtocolHandles(HANDLE* commands) {
  HANDLE self = GetCurrentProcess();
  DuplicateHandle(self, GetStdHandle(STD_INPUT_HANDLE), self, commands, 0, FALSE, DUPLICATE_SAME_ACCESS);
  DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &g_replies, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  SetStdHandle(STD_INPUT_HANDLE, nul);
  SetStdHandle(STD_OUTPUT_HANDLE, nul);
  SetStdHandle(STD_ERROR_HANDLE, nul);
}

}  // namespace

int main() {
  HANDLE in = INVALID_HANDLE_VALUE;
  TakeProtocolHandles(&in);
  string pending;
  WriteLine(Reply().Str("ready", "uidrv").Done());
  for (;;) {
    size_t eol;
    while ((eol = pending.find('\n')) == string::npos) {
      char buf[4096];
      DWORD got = 0;
      if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) return 0;
      pending.append(buf, got);
    }
    string line = pending.substr(0, eol);
    pending.erase(0, eol + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Args args = SplitLine(line);
    if (args[0] == "quit") {
      WriteLine(Reply().Done());
      return 0;
    }
    WriteLine(Dispatch(args));
  }
}
