// Shows one message box and exits with the pressed button's id. It gives the
// harness's own tests a known window to find, read and click:
//   mbox.exe <flags> <title> <text>     (flags: MessageBox style as a number)
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

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 100;
  UINT flags = (UINT)wcstoul(argv[1], nullptr, 0);
  std::string title = ToAnsi(argv[2]), text = ToAnsi(argv[3]);
  return MessageBoxA(nullptr, text.c_str(), title.c_str(), flags);
}
