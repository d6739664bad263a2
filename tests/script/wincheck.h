// Checks for the Windows test programs of this folder, which run under Wine
// without a test framework, and a watcher that answers message boxes so that a
// test never blocks on one.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

inline int g_failures = 0;
inline std::string g_case;

#define CHECK(condition)                                                                        \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            ++g_failures;                                                                       \
            std::printf("FAIL [%s] %s:%d: %s\n", g_case.c_str(), __FILE__, __LINE__, #condition); \
        }                                                                                       \
    } while (0)

#define CHECK_TEXT(actual, expected)                                                                  \
    do {                                                                                              \
        const std::string a_ = (actual), e_ = (expected);                                             \
        if (a_ != e_) {                                                                               \
            ++g_failures;                                                                             \
            std::printf("FAIL [%s] %s:%d: %s is \"%s\", expected \"%s\"\n", g_case.c_str(), __FILE__, \
                        __LINE__, #actual, a_.c_str(), e_.c_str());                                   \
        }                                                                                             \
    } while (0)

inline int FinishChecks()
{
    std::printf("%s: %d failure(s)\n", g_failures ? "FAILED" : "passed", g_failures);
    std::fflush(stdout);
    return g_failures ? 1 : 0;
}

// One answered message box: its title and its text.
struct SeenBox {
    std::string title;
    std::string text;
};

// Runs a thread that finds this process's message boxes, records title and text
// (the static control 0xFFFF), and presses the button `answer` (IDOK, IDCANCEL).
class BoxWatcher {
public:
    explicit BoxWatcher(int answer = IDOK) : answer_(answer)
    {
        InitializeCriticalSection(&lock_);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~BoxWatcher()
    {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        DeleteCriticalSection(&lock_);
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Boxes answered since the last call.
    std::vector<SeenBox> Take()
    {
        EnterCriticalSection(&lock_);
        std::vector<SeenBox> boxes;
        boxes.swap(seen_);
        LeaveCriticalSection(&lock_);
        return boxes;
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM context)
    {
        auto* self = reinterpret_cast<BoxWatcher*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        if (process != GetCurrentProcessId() || std::string(className) != "#32770" || !IsWindowVisible(window))
            return TRUE;
        char title[512] = {}, text[2048] = {};
        GetWindowTextA(window, title, sizeof title);
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        EnterCriticalSection(&self->lock_);
        self->seen_.push_back({title, text});
        LeaveCriticalSection(&self->lock_);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(self->answer_, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, self->answer_)));
        // Wait for the box to go, so it is recorded once.
        for (int i = 0; i < 200 && IsWindow(window) && IsWindowVisible(window); ++i)
            Sleep(10);
        return TRUE;
    }
    static DWORD WINAPI Run(void* context)
    {
        auto* self = static_cast<BoxWatcher*>(context);
        while (!InterlockedCompareExchange(&self->stop_, 0, 0)) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(self));
            Sleep(20);
        }
        return 0;
    }

    int answer_;
    volatile LONG stop_ = 0;
    HANDLE thread_ = nullptr;
    CRITICAL_SECTION lock_;
    std::vector<SeenBox> seen_;
};
