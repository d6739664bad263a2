// The dialog procedure and the pages against the real platform, under Wine: the
// template linked into this program, a temporary folder standing in for the disc,
// and a stand-in installation step that counts its calls. What the end-to-end
// tests already drive (banner rules, radio and DirectX clicks, automatic mode,
// Cancel) is not repeated here; these are the limits they can't reach cheaply.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/session.h"
#include "install/install.h"
#include "script/config.h"
#include "wizard/wizard.h"

#include <gtest/gtest.h>

namespace {
int g_installCalls = 0;
std::string g_disc;  // stand-in disc root, ending in a backslash

std::string Bytes(HWND dialog, int id)
{
    char text[2048] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void WriteFile(const std::string& path, const std::string& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

// A 24-bit bottom-up banner of width x height pixels.
std::string Banner(int width, int height)
{
    const int row = (3 * width + 3) & ~3;
    std::string file(54 + row * height, '\0');
    auto put32 = [&](int at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(10, 54);
    put32(14, 40);  // information header size
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;   // planes
    file[28] = 24;  // bits per pixel
    return file;
}

void ResetConfig()
{
    g_config = SetupConfig{};
    std::strcpy(g_config.CompanyName, "\x83\x5E\x83\x8B\x83\x78\x83\x93");  // タルベン
    std::strcpy(g_config.GameTitle, "LANTERNA");
    std::strcpy(g_config.GameDir, "LANTERNA");
    std::strcpy(g_config.SetupBmp[0], "BANNER.BMP");
    g_config.SetupBmpCount = 1;
    g_config.InstallSelects = 2;
    std::strcpy(g_config.selections[0].InstallTitle, "A");
    g_config.selections[0].InstallSize = 1536;
    std::strcpy(g_config.selections[1].InstallTitle, "B");
    g_config.selections[1].InstallSize = 681574400;
    g_config.DefaultSelect = 1;
    g_config.InstallDirectX = 0x10000;
    std::strcpy(g_config.InstallDXMessage, "DX");
    std::strcpy(g_config.SelectSetupMessage, "choose %s %d %% 100%");
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        g_disc = std::string(temp) + "wizard_wintest\\";
        CreateDirectoryA(g_disc.c_str(), nullptr);
        WriteFile(g_disc + "BANNER.BMP", Banner(5, 3));
        ResetConfig();
        g_session = SetupSession{};
        std::strcpy(g_session.caption, "CAPTION");
        std::strcpy(g_session.sourceRoot, g_disc.c_str());
        g_installCalls = 0;
    }

    void TearDown() override
    {
        if (dialog_)
            DestroyWindow(dialog_);
        if (g_session.bannerBitmap)
            DeleteObject(g_session.bannerBitmap);
    }

    // A modeless copy of the wizard; ShowWelcomePage has run when it returns.
    HWND Open()
    {
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kWizardDialogId), nullptr,
                                     WizardDialogProc, 0);
        return dialog_;
    }

    void Command(int id, int notification = 0)
    {
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, notification), 0);
    }

    HWND dialog_ = nullptr;
};
}

// The installation step, replaced for these tests.
void RunInstallation(HWND) { ++g_installCalls; }

TEST_F(Wizard, WelcomePageInitialisesTheSession)
{
    g_session.installDirectX = 0xFFFFFFFFu;
    g_session.wizardPage = 7;
    HWND w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(g_session.dialogWindow, w);
    EXPECT_EQ(g_session.wizardPage, 0);
    EXPECT_EQ(g_session.installDirectX, 0u);
    EXPECT_EQ(g_session.selectedIndex, 1);
    EXPECT_NE(g_session.bannerBitmap, nullptr);
    // The caption, the size captions, the texts and the buttons' states as the
    // user sees them are checked end to end (test_wizard); a choice beyond the
    // script's keeps its template text.
    EXPECT_EQ(Bytes(w, kIdSelect2), "Select2");
    // The bitmap static takes the picture's size.
    BITMAP bm;
    ASSERT_TRUE(GetObjectA(g_session.bannerBitmap, sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 5);
    EXPECT_EQ(bm.bmHeight, 3);
}

TEST_F(Wizard, NextAndBackStepThePageCounterAndBusyIgnoresThem)
{
    HWND w = Open();
    ASSERT_NE(w, nullptr);
    Command(kIdNext);
    EXPECT_EQ(g_session.wizardPage, 1);
    EXPECT_EQ(Bytes(w, kIdInfo), "choose %s %d %% 100%") << "a script text is shown as it stands";
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, kIdDirectX)));
    EXPECT_EQ(IsDlgButtonChecked(w, kIdSelect1), BST_CHECKED);

    Command(kIdNext);
    EXPECT_EQ(g_session.wizardPage, 2);
    EXPECT_EQ(Bytes(w, kIdDestination), g_session.destinationRoot);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, kIdBack)));

    Command(kIdNext);
    EXPECT_EQ(g_installCalls, 1);
    EXPECT_EQ(g_session.wizardPage, 3);

    // While a step runs, Next, Back and Cancel do nothing.
    g_session.busy = 1;
    for (int id : {kIdNext, kIdBack, kIdCancel})
        Command(id);
    EXPECT_EQ(g_session.wizardPage, 3);
    EXPECT_EQ(g_installCalls, 1);
    EXPECT_TRUE(IsWindowVisible(w));
    g_session.busy = 0;

    Command(kIdBack);  // 3 - 2: the destination page again
    EXPECT_EQ(g_session.wizardPage, 2);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, kIdDestination)));
    Command(kIdNext);
    EXPECT_EQ(g_installCalls, 2);
    Command(kIdNext);  // the completed page: the dialog ends
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_EQ(g_session.busy, 0);
}

TEST_F(Wizard, PreviewFollowsTheFieldAndStaysEmptyWhenThePathDoesNotFit)
{
    HWND w = Open();
    ASSERT_NE(w, nullptr);
    SetDlgItemTextA(w, kIdDestination, "D:\\\x95\x5C");  // 表: its 0x5C is no separator
    EXPECT_EQ(Bytes(w, kIdPreview), "D:\\\x95\x5C\\\x83\x5E\x83\x8B\x83\x78\x83\x93\\LANTERNA");
    SetDlgItemTextA(w, kIdDestination, "");
    EXPECT_EQ(Bytes(w, kIdPreview), "\\\x83\x5E\x83\x8B\x83\x78\x83\x93\\LANTERNA");

    // 259 + 1 + 259 + 1 + 8 bytes and two NULs do not fit the 520-byte preview.
    std::memset(g_config.CompanyName, 'c', 259);
    g_config.CompanyName[259] = '\0';
    const std::string field(259, 'f');
    SetDlgItemTextA(w, kIdDestination, field.c_str());
    EXPECT_EQ(Bytes(w, kIdPreview), "");
    // 250 + 1 + 259 + 1 + 8 = 519 bytes would still not leave room for the second NUL.
    SetDlgItemTextA(w, kIdDestination, std::string(250, 'f').c_str());
    EXPECT_EQ(Bytes(w, kIdPreview), "");
    SetDlgItemTextA(w, kIdDestination, std::string(249, 'f').c_str());
    EXPECT_EQ(Bytes(w, kIdPreview).size(), 518u);
    // A field beyond the 259 bytes that the preview reads is never shown cut.
    g_config.CompanyName[0] = '\0';
    SetDlgItemTextA(w, kIdDestination, std::string(260, 'f').c_str());
    EXPECT_EQ(Bytes(w, kIdPreview), "");
    SetDlgItemTextA(w, kIdDestination, std::string(259, 'f').c_str());
    EXPECT_EQ(Bytes(w, kIdPreview), std::string(259, 'f') + "\\LANTERNA");
}

TEST_F(Wizard, InfoTextFormatsAndCutsAtItsBuffer)
{
    HWND w = Open();
    ASSERT_NE(w, nullptr);
    SetInfoText(w, "%s: %d%%", "\x82\xA0", 5);
    EXPECT_EQ(Bytes(w, kIdInfo), "\x82\xA0: 5%");
    const std::string longText(3000, 'x');
    SetInfoText(w, "%s", longText.c_str());
    EXPECT_EQ(Bytes(w, kIdInfo), std::string(1023, 'x'));
    SetInfoTextLiteral(w, "100% %s");
    EXPECT_EQ(Bytes(w, kIdInfo), "100% %s");
}
