// A watcher that answers this process's message boxes, so that a Windows test
// never blocks on one, and records what each box said.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

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
