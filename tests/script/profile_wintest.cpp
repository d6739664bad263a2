// The project's profile reader against the platform's: the same scripts read
// with GetPrivateProfileStringA (under Wine in the test run) and with
// ReadProfileString must give the same values at every capacity the reader uses.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "script/profile.h"

#include <gtest/gtest.h>

namespace {
struct Script { const char* text; std::vector<const char*> keys; };  // keys looked up in section SETUP

// 259 'a' then a double-byte character (ソ, 83 5C): cut inside it at 260.
const std::string kLong = std::string(259, 'a') + "\x83\x5C" + "tail";
const std::string kLongLine = "Long=" + kLong + "\r\nQuoted=\"" + std::string(18, 'q') + "\"\r\nQ19=\"" +
                              std::string(19, 'q') + "\"\r\nSjis20=" + std::string(18, 'b') + "\x95\x5C";

const Script kScripts[] = {
    {"; comment\r\n[SETUP]\r\nCompanyName = Spaced \r\nGameDir=First\r\nGameDir=Second\r\n"
     ";GameExe=Commented\r\nNoEquals\r\n[OTHER]\r\nUninstExe=Other\r\n[SETUP]\r\nGameExe=Late\r\n",
     {"CompanyName", "GameDir", "GameExe", "NoEquals", "UninstExe", ";GameExe"}},
    {"[setup]\ncompanyname=lower\rGAMETITLE=\t upper\t\r\n\r\n\x1A Key2 \x1A= v \x1A\r\n", {"CompanyName", "GameTitle", "Key2"}},
    {"Before=1\r\n[SETUP] trailing\r\nA=\"quoted\"\r\nB='single'\r\nC=\" in side \"\r\nD=\"open\r\nE=mid\"dle\"\r\n"
     "F=\"\"\r\nG=\"\r\nH='mixed\"\r\nI=\r\n",
     {"Before", "A", "B", "C", "D", "E", "F", "G", "H", "I"}},
    // ソ (83 5C) and ー (81 5B) carry trail bytes 5C and 5B; the full-width space 81 40.
    {"[SETUP]\r\nName=\x83\x5C\x83\x74\x83\x67\r\nBracket=[\x81\x5B]\r\nWide=\x81\x40value\x81\x40\r\n"
     "[\x83\x5C]\r\nName=other\r\n",
     {"Name", "Bracket", "Wide"}},
    {"[SETUP]]\r\nName=closed by the last bracket\r\n", {"Name"}}, {nullptr, {"Long", "Quoted", "Q19", "Sjis20"}},
};

const std::size_t kCapacities[] = {1024, 260, 20, 2};
}

TEST(ProfileReader, ReadsLikeThePlatform)
{
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    ASSERT_TRUE(length > 0 && length < sizeof folder - 40);
    int number = 0;
    for (const Script& s : kScripts) {
        const std::string text = s.text ? s.text : "[SETUP]\r\n" + kLongLine + "\r\n";
        // A file per script: the platform caches profile files by name and time.
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%sprofile_%lu_%d.ini", folder, GetCurrentProcessId(), ++number);
        FILE* file = std::fopen(path, "wb");
        ASSERT_TRUE(file && std::fwrite(text.data(), 1, text.size(), file) == text.size() && !std::fclose(file));
        for (const char* key : s.keys) {
            for (std::size_t capacity : kCapacities) {
                std::vector<char> platform(capacity, '\0'), ours(capacity, '\x7F');
                const DWORD got = GetPrivateProfileStringA("SETUP", key, "", platform.data(),
                                                           static_cast<DWORD>(capacity), path);
                const std::size_t read =
                    ReadProfileString({text.data(), text.size()}, "SETUP", key, ours.data(), capacity);
                EXPECT_EQ(std::string(ours.data()), std::string(platform.data()))
                    << "script " << number << " key " << key << " capacity " << capacity;
                EXPECT_EQ(read > 0, got > 0) << "script " << number << " key " << key << " capacity " << capacity;
            }
        }
        DeleteFileA(path);
    }
}
