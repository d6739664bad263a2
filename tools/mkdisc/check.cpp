// The check: SETUP.INI through setup's own reader, then what setup would only
// find on a user's machine.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "app/measure.h"
#include "app/session.h"
#include "common/sjis.h"
#include "common/size_text.h"
#include "script/config.h"
#include "script/profile.h"
#include "script/reader.h"
#include "tools/mkdisc/mkdisc.h"
#include "wizard/banner_check.h"

namespace {
constexpr uint64_t kDiscCapacity = uint64_t{650} << 20;

// How far a stated InstallSize may stray from the measured one, in percent.
constexpr uint64_t kSizeTolerance = 10;

std::string Utf8(const std::string& sjis)
{
    std::string text;
    ConvertText("CP932", "UTF-8", sjis, &text);
    return text;
}

struct Checker {
    std::FILE* out;
    std::string scriptPath;  // as given, for the reports
    ProfileText text;
    CheckedDisc result;

    int LineOf(const char* key)
    {
        char value[kMessageCapacity];
        int line = 0;
        ReadProfileString(text, "SETUP", key, value, sizeof value, &line);
        return line ? line : FindProfileSection(text, "SETUP");
    }

    // "PATH:LINE: KEY: text"; `message` is Shift-JIS, as setup would show it.
    void Fault(const char* key, const std::string& message, bool warning = false)
    {
        std::fprintf(out, "%s:%d: %s%s: %s\n", scriptPath.c_str(), LineOf(key), warning ? "warning: " : "", key,
                     Utf8(message).c_str());
        ++(warning ? result.warnings : result.faults);
    }
};

Checker* g_checker;

void CollectFault(const char* key, const char* text)
{
    g_checker->Fault(key, text);
}

bool ReadFile(const std::string& path, std::string* data)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char block[65536];
    std::size_t n;
    data->clear();
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        data->append(block, n);
    std::fclose(file);
    return true;
}

// True for well-formed UTF-8 that holds at least one character beyond ASCII.
bool IsUtf8(const std::string& data)
{
    bool wide = false;
    for (std::size_t i = 0; i < data.size();) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        const std::size_t trail = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c < 0xF5 ? 3 : 9;
        if (trail > data.size() - i - 1)
            return false;
        for (std::size_t k = 1; k <= trail; ++k) {
            if ((static_cast<unsigned char>(data[i + k]) & 0xC0) != 0x80)
                return false;
        }
        wide |= trail > 0;
        i += trail + 1;
    }
    return wide;
}

// The script as setup reads it: Shift-JIS with CR LF. Each line that has no
// Shift-JIS form (or, in a Shift-JIS file, holds bytes that are not Shift-JIS)
// is a fault of its line.
std::string ToScript(Checker& c, const std::string& raw)
{
    std::string data = raw;
    bool utf8 = false;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        data.erase(0, 3);
        utf8 = true;
    }
    utf8 = utf8 || IsUtf8(data);
    if (utf8)
        std::fprintf(c.out, "%s: UTF-8: checked as its Shift-JIS form, which `mkdisc make` writes\n", c.scriptPath.c_str());
    std::string script;
    int number = 0;
    for (std::size_t start = 0; start < data.size();) {
        std::size_t end = data.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = data.size();
        const std::string line = data.substr(start, end - start);
        ++number;
        std::string converted;
        if (!ConvertText(utf8 ? "UTF-8" : "CP932", utf8 ? "CP932" : "UTF-8", line, &converted)) {
            std::fprintf(c.out, "%s:%d: %s\n", c.scriptPath.c_str(), number,
                         utf8 ? "text that Shift-JIS can't hold" : "bytes that are not Shift-JIS");
            ++c.result.faults;
        }
        script += (utf8 ? converted : line) + "\r\n";
        start = end + (data.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return script;
}

// Installed paths of a choice, relative to the install folder and in capitals:
// a file entry keeps its path, a folder entry lands under its last name.
void AddInstalled(const std::string& found, std::string name, std::set<std::string>* installed)
{
    for (char& ch : name)
        ch = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
    struct stat info;
    if (stat(found.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        installed->insert(name);
        return;
    }
    name = name.substr(MemberNameOffset(name.c_str()));
    installed->insert(name);
    DIR* dir = opendir(found.c_str());
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir)) {
        if (!IsCountedName(entry->d_name))
            continue;
        std::string sjis;
        ConvertText("UTF-8", "CP932", entry->d_name, &sjis);
        AddInstalled(found + "/" + entry->d_name, name + "\\" + sjis, installed);
    }
    closedir(dir);
}

bool Installs(const std::set<std::string>& installed, std::string name)
{
    for (char& ch : name)
        ch = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
    return installed.count(name) > 0;
}

void CheckChoices(Checker& c, const std::vector<std::string>& discs, std::set<std::string>* anyChoice,
                  std::string* summary)
{
    for (int i = 0; i < SelectionCount(g_config); ++i) {
        const InstallSelection& selection = g_config.selections[i];
        char key[32];
        std::snprintf(key, sizeof key, "InstallFiles%d", i);
        uint64_t bytes = 0;
        int files = 0;
        std::set<int> discsUsed;
        for (int k = 0; k < kMaxInstallFiles && selection.InstallFiles[k].name[0]; ++k) {
            const InstallFileEntry& entry = selection.InstallFiles[k];
            const int disc = entry.disc == 0 ? 1 : entry.disc;
            discsUsed.insert(disc);
            if (disc > static_cast<int>(discs.size()) || discs[disc - 1].empty()) {
                c.Fault(key, "\"" + std::string(entry.name) + "\": disc " + std::to_string(disc) +
                                 " is not given, so it is not checked", true);
                continue;
            }
            const std::string found = FindOnDisc(discs[disc - 1], entry.name);
            if (found.empty()) {
                char message[kMessageCapacity];
                std::snprintf(message, sizeof message, kMissingListedFile, i, entry.name);
                c.Fault(key, message);
                continue;
            }
            bytes += MeasurePath(found, &files);
            AddInstalled(found, entry.name, anyChoice);
        }
        char sizeKey[32];
        std::snprintf(sizeKey, sizeof sizeKey, "InstallSize%d", i);
        const uint64_t stated = selection.InstallSize;
        if (stated != 0 && (stated * 100 > bytes * (100 + kSizeTolerance) || stated * 100 < bytes * (100 - kSizeTolerance)))
            c.Fault(sizeKey, "states " + std::to_string(stated) + " bytes, the listed files measure " +
                                 std::to_string(bytes));
        char size[32] = "?";
        FormatSize(static_cast<int64_t>(bytes), size, sizeof size);
        std::string discList;
        for (int d : discsUsed)
            discList += (discList.empty() ? "" : ",") + std::to_string(d);
        char line[kMessageCapacity];
        std::snprintf(line, sizeof line, "choice %d \"%s\": %d file%s, %llu bytes (%s), disc %s%s\n", i,
                      Utf8(selection.InstallTitle).c_str(), files, files == 1 ? "" : "s", static_cast<unsigned long long>(bytes), size,
                      discList.c_str(), stated ? "" : selection.usesOtherDiscs ? ", size not stated" : ", measured by setup");
        *summary += line;
    }
}

void CheckDiscMarkers(Checker& c, const std::vector<std::string>& discs)
{
    for (int n = 0; n < kMaxDiscs; ++n) {
        const char* marker = g_config.DiskCheckFile[n];
        const int disc = n == 0 ? 1 : n;
        if (!marker[0] || disc > static_cast<int>(discs.size()) || discs[disc - 1].empty())
            continue;
        if (FindOnDisc(discs[disc - 1], marker).empty()) {
            char key[32];
            std::snprintf(key, sizeof key, "DiskCheckFile%d", n);
            c.Fault(key, "\"" + std::string(marker) + "\" is not on disc " + std::to_string(disc) +
                             ": the disc prompt could never be answered");
        }
    }
}

void CheckInstalledNames(Checker& c, const std::set<std::string>& installed)
{
    for (int j = 0; j < ShortcutCount(g_config); ++j) {
        const ShortcutEntry& entry = g_config.shortcutEntries[j];
        char key[32];
        std::snprintf(key, sizeof key, "Shortcut%d", j);
        // An empty target is an entry the reader refused, and has reported already.
        if (entry.target[0] && std::strncmp(entry.target, "http://", 7) != 0 && !Installs(installed, entry.target))
            c.Fault(key, "\"" + std::string(entry.target) + "\" is installed by no choice");
    }
    if (g_config.ExecApp.program[0]) {
        if (!Installs(installed, g_config.ExecApp.argumentFile))
            c.Fault("ExecApp", "\"" + std::string(g_config.ExecApp.argumentFile) + "\" is installed by no choice");
        if (!Installs(installed, g_config.ExecApp.program))
            c.Fault("ExecApp", "\"" + std::string(g_config.ExecApp.program) +
                                   "\" is installed by no choice: it must be found on the user's system", true);
    }
}

void CheckBanners(Checker& c, const std::string& disc)
{
    for (int k = 0; k < g_config.SetupBmpCount; ++k) {
        const std::string name = g_config.SetupBmp[k];
        const std::string found = FindOnDisc(disc, name);
        std::string data;
        BannerLayout layout;
        if (found.empty() || !ReadFile(found, &data))
            c.Fault("SetupBmp", "\"" + name + "\" is not on the disc: the welcome page would show no picture");
        else if (data.size() > UINT32_MAX ||
                 !CheckBannerLayout(reinterpret_cast<const unsigned char*>(data.data()),
                                    static_cast<uint32_t>(data.size()), &layout))
            c.Fault("SetupBmp", "\"" + name + "\" would not load: an uncompressed 16, 24 or 32-bit bitmap with a "
                                              "40-byte header and no colour table is needed");
    }
}
}

CheckedDisc CheckDiscs(const std::vector<std::string>& discs, std::FILE* out)
{
    Checker c{out, discs[0] + "/SETUP.INI", {"", 0}, {}};
    std::string raw;
    if (!ReadFile(c.scriptPath, &raw)) {
        std::fprintf(out, "%s: cannot be read\n", c.scriptPath.c_str());
        c.result.faults = 1;
        return c.result;
    }
    c.result.script = ToScript(c, raw);
    c.text = {c.result.script.data(), c.result.script.size()};

    // The reader as setup runs it, from a fresh state, with every fault collected.
    g_checker = &c;
    SetLoadedProfile(c.text);
    SetScriptErrorSink(CollectFault);
    g_config = SetupConfig{};
    quietMissingKeys = false;
    LoadSetupConfig(true);
    SetScriptErrorSink(nullptr);
    c.result.title = Utf8(g_config.GameTitle);
    if (g_config.GameTitle[0] && std::strcmp(g_config.GameTitle, kBuiltInTitle) != 0)
        c.Fault("GameTitle", std::string("setup takes only a disc whose GameTitle is ") + kBuiltInTitle);

    std::set<std::string> installed;
    std::string summary;
    CheckChoices(c, discs, &installed, &summary);
    CheckDiscMarkers(c, discs);
    CheckInstalledNames(c, installed);
    CheckBanners(c, discs[0]);
    if (g_config.InstallDirectX && FindOnDisc(discs[0], "directx").empty())
        c.Fault("InstallDirectX", "no directx folder beside setup.exe: the DirectX set-up would fail", true);
    for (std::size_t d = 0; d < discs.size(); ++d) {
        const uint64_t bytes = MeasurePath(discs[d]);
        if (bytes > kDiscCapacity) {
            std::fprintf(out, "%s: warning: disc %zu holds %llu MiB, more than a 650 MiB CD-ROM\n", discs[d].c_str(),
                         d + 1, static_cast<unsigned long long>(bytes >> 20));
            ++c.result.warnings;
        }
    }
    std::fputs(summary.c_str(), out);
    std::fprintf(out, "%d fault%s, %d warning%s\n", c.result.faults, c.result.faults == 1 ? "" : "s",
                 c.result.warnings, c.result.warnings == 1 ? "" : "s");
    return c.result;
}
