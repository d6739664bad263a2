// Shows one message box and exits with the pressed button's id. It gives the
// harness's own tests a known window to find, read and click:
//   mbox.exe <flags> <title> <text>     (flags: MessageBox style as a number)
//   mbox.exe busy <title> <text> <ms>   a window with a static text (id 100) and
//                                       an edit field (id 101) holding <text>,
//                                       which then stops answering for <ms>
//   mbox.exe form <title> <text>        the same window with an auto check box
//                                       (id 102), answering until closed; exits
//                                       with 1000 + the number of EN_CHANGE
//                                       notices, + 100 when the box is checked
// Texts arrive as UTF-16 and are handed over through the ANSI call on purpose,
// like the setup program does, so the box holds code page 932 text.
#include <windows.h>
#include <shellapi.h>
#include <cstdlib>
#include <string>

static std::string ToAnsi(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
  return s;
}

// Like the wizard during its copy: the window is painted, then its thread
// works without looking at messages.
static int ShowBusyWindow(const std::string& title, const std::string& text, DWORD ms) {
  HWND window = CreateWindowExA(0, "#32770", title.c_str(), WS_OVERLAPPEDWINDOW, 50, 50, 300, 150,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  CreateWindowExA(0, "Static", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 260, 20, window,
                  (HMENU)100, nullptr, nullptr);
  CreateWindowExA(0, "Edit", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 40, 260, 24, window,
                  (HMENU)101, nullptr, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < 500) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  Sleep(ms);
  return 0;
}

static int g_changes = 0;
static bool g_checked = false;

static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && LOWORD(wp) == 101 && HIWORD(wp) == EN_CHANGE) g_changes++;
  if (msg == WM_DESTROY) {
    // Sent before the children go, so the check box can still be asked.
    g_checked = IsDlgButtonChecked(hwnd, 102) == BST_CHECKED;
    PostQuitMessage(0);
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

static int ShowForm(const std::string& title, const std::string& text) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = FormProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = "HarnessForm";
  RegisterClassA(&wc);
  // Shown only when complete, so that a test finding it finds its controls.
  HWND window = CreateWindowExA(0, "HarnessForm", title.c_str(), WS_OVERLAPPEDWINDOW, 60, 60, 320, 160,
                                nullptr, nullptr, wc.hInstance, nullptr);
  CreateWindowExA(0, "Static", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 260, 20, window,
                  (HMENU)100, nullptr, nullptr);
  CreateWindowExA(0, "Edit", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 40,
                  260, 24, window, (HMENU)101, nullptr, nullptr);
  CreateWindowExA(0, "Button", "check", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 10, 70, 200, 20, window,
                  (HMENU)102, nullptr, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  g_changes = 0;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 1000 + g_changes + (g_checked ? 100 : 0);
}

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 100;
  if (lstrcmpW(argv[1], L"form") == 0) return ShowForm(ToAnsi(argv[2]), ToAnsi(argv[3]));
  if (lstrcmpW(argv[1], L"busy") == 0)
    return ShowBusyWindow(ToAnsi(argv[2]), ToAnsi(argv[3]), argc > 4 ? wcstoul(argv[4], nullptr, 10) : 10000);
  UINT flags = (UINT)wcstoul(argv[1], nullptr, 0);
  std::string title = ToAnsi(argv[2]), text = ToAnsi(argv[3]);
  return MessageBoxA(nullptr, text.c_str(), title.c_str(), flags);
}
