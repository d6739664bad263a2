// The hand-over checks: windows created here stand in for another copy's wizard
// and for the running game; the install record is written under HKCU with a
// company name of this run's own, and the stand-in game leaves STARTED.MRK.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/disc.h"
#include "app/session.h"
#include "script/config.h"
#include "tests/script/box_watcher.h"

#include <gtest/gtest.h>

namespace {
std::string g_case;  // names the case in a failure
const char kGameClass[] = "LanternaTestGame";

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

// Hidden windows, so that "brought forward" is visible as "now shown".
HWND MakeHidden(const char* className, const char* title)
{
    return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(HandOver, ActivateRunningCopy)
{
    WNDCLASSA game = {};
    game.lpfnWndProc = GameProc;
    game.hInstance = GetModuleHandleA(nullptr);
    game.lpszClassName = kGameClass;
    RegisterClassA(&game);

    std::strcpy(g_config.GameTitle, "LANTERNA");
    std::strcpy(g_config.GameClass, kGameClass);
    // "LANTERNA 修正セットアップ"
    std::strcpy(g_session.caption, "LANTERNA \x8f\x43\x90\xb3\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76");

    g_case = "nothing running";
    EXPECT_TRUE(!ActivateRunningCopy()) << g_case;

    struct Case {
        const char* name;
        const char* className;
        const char* title;
        bool found;
    };
    const Case cases[] = {
        {"wizard of another copy", "#32770", g_session.caption, true},
        {"dialog of another title", "#32770", "LANTERNA", false},
        {"running game", kGameClass, "LANTERNA", true},
        // Window titles match without regard to case in FindWindow, so the other
        // title differs in more than case.
        {"game class, other title", kGameClass, "LANTERNA 2", false},
        {"game title, other class", "Static", "LANTERNA", false},
    };
    for (const Case& c : cases) {
        g_case = c.name;
        HWND window = MakeHidden(c.className, c.title);
        EXPECT_TRUE(window != nullptr) << g_case;
        EXPECT_TRUE(ActivateRunningCopy() == c.found) << g_case;
        EXPECT_TRUE((IsWindowVisible(window) != 0) == c.found) << g_case;
        DestroyWindow(window);
    }
}

std::string g_company;
std::string g_gameProgram;  // the stand-in game, built in ..\\testprogs
std::string g_folder;  // folder for the stand-in install folders

void SetRecord(const char* company, const char* gameDir, const char* instPath)
{
    const std::string path = std::string("Software\\") + company + "\\" + gameDir;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create the install record " << path;
        return;
    }
    if (instPath)
        RegSetValueExA(key, "InstPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(instPath),
                       static_cast<DWORD>(std::strlen(instPath) + 1));
    RegCloseKey(key);
}

void RemoveRecord(const char* company)
{
    const std::string path = std::string("Software\\") + company;
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyA(parent, "Lanterna");
        RegDeleteKeyA(parent, "Other");
        RegCloseKey(parent);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

bool WaitForFile(const std::string& path, int milliseconds)
{
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(50);
    }
    return false;
}

std::string ReadText(const std::string& path)
{
    // The game may still hold the file for a moment after it appears.
    for (int attempt = 0; attempt < 50; ++attempt) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file) {
            char buffer[1024] = {};
            const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
            std::fclose(file);
            if (length)
                return std::string(buffer, length);
        }
        Sleep(50);
    }
    return std::string();
}

TEST(HandOver, LaunchInstalledGame)
{
    const std::string gameProgram = g_gameProgram;
    const std::string company = g_company;
    std::strcpy(g_config.CompanyName, company.c_str());
    std::strcpy(g_config.GameDir, "Lanterna");
    std::strcpy(g_config.GameExe, "MARKGAME.EXE");

    // Install folders with a space in their path: the command line stays unquoted.
    const std::string installed = g_folder + "\\Game Dir";
    const std::string stale = g_folder + "\\Stale";
    CreateDirectoryA(installed.c_str(), nullptr);
    CreateDirectoryA(stale.c_str(), nullptr);
    CreateDirectoryA((stale + "\\MARKGAME.EXE").c_str(), nullptr);  // a folder of the game's name
    EXPECT_TRUE(CopyFileA(gameProgram.c_str(), (installed + "\\MARKGAME.EXE").c_str(), FALSE)) << g_case;

    g_case = "no record";
    EXPECT_TRUE(!LaunchInstalledGame()) << g_case;

    g_case = "record without InstPath";
    SetRecord(company.c_str(), "Lanterna", nullptr);
    EXPECT_TRUE(!LaunchInstalledGame()) << g_case;

    g_case = "stale record";
    SetRecord(company.c_str(), "Lanterna", (g_folder + "\\Gone").c_str());
    EXPECT_TRUE(!LaunchInstalledGame()) << g_case;
    SetRecord(company.c_str(), "Lanterna", stale.c_str());
    EXPECT_TRUE(!LaunchInstalledGame()) << g_case;

    g_case = "record of another game";
    RemoveRecord(company.c_str());
    SetRecord(company.c_str(), "Other", installed.c_str());
    EXPECT_TRUE(!LaunchInstalledGame()) << g_case;

    g_case = "installed game";
    SetRecord(company.c_str(), "Lanterna", installed.c_str());
    EXPECT_TRUE(LaunchInstalledGame()) << g_case;
    const std::string mark = installed + "\\STARTED.MRK";
    EXPECT_TRUE(WaitForFile(mark, 20000)) << g_case;
    // The program passes the path unquoted. Windows hands it to the game as it
    // is; Wine, having had to find where the program name ends at a blank,
    // passes it on in quotes.
    std::string commandLine = ReadText(mark);
    if (commandLine.size() >= 2 && commandLine.front() == '"' && commandLine.back() == '"')
        commandLine = commandLine.substr(1, commandLine.size() - 2);
    EXPECT_EQ(std::string(commandLine), std::string(installed + "\\MARKGAME.EXE")) << g_case;

    RemoveRecord(company.c_str());
    DeleteFileA(mark.c_str());
    DeleteFileA((installed + "\\MARKGAME.EXE").c_str());
    RemoveDirectoryA(installed.c_str());
    RemoveDirectoryA((stale + "\\MARKGAME.EXE").c_str());
    RemoveDirectoryA(stale.c_str());
}
}

class HandOverFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        char self[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
        ASSERT_TRUE(length > 0 && length < sizeof self);
        std::string game = self;
        game = game.substr(0, game.rfind('\\'));
        g_gameProgram = game.substr(0, game.rfind('\\')) + "\\testprogs\\markgame.exe";
        ASSERT_NE(GetFileAttributesA(g_gameProgram.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the stand-in game is missing: " << g_gameProgram;
        char temp[MAX_PATH];
        ASSERT_TRUE(GetTempPathA(sizeof temp, temp) > 0);
        const unsigned long id = GetCurrentProcessId();
        g_folder = std::string(temp) + "handover_" + std::to_string(id);
        g_company = "TalvenTest" + std::to_string(id);
        CreateDirectoryA(g_folder.c_str(), nullptr);
    }
    void TearDown() override { RemoveDirectoryA(g_folder.c_str()); }
};

[[maybe_unused]] ::testing::Environment* const g_handOverFolder =
    ::testing::AddGlobalTestEnvironment(new HandOverFolder);
