#include "uninst/uninst_logic.h"
#include "common/path.h"
#include "common/sjis.h"

#include <cstring>

const char kUninstTitle[] = "アンインストール";
const char kUninstTitleFormat[] = "%s アンインストール";
const char kConfirmFormat[] =
    "「%s」をアンインストールします。\nインストールフォルダとスタートメニューのフォルダを削除します。よろしいですか？";
const char kDoneFormat[] = "「%s」のアンインストールが完了しました。";
const char kNoRecordFormat[] = "このフォルダを指すインストール情報が見つかりません。\n%s\n\n何も削除しませんでした。";
const char kInUseFormat[] =
    "次のファイルまたはフォルダを削除できませんでした。\n%s\n\n使用中のプログラムを終了してから、もう一度アンインストールして下さい。";
const char kRegistryFailedText[] = "レジストリのインストール情報を削除できませんでした。";
const char kPrepareFailedText[] = "一時フォルダにアンインストールプログラムをコピーできませんでした。";
const char kBadCommandLineText[] = "コマンドラインが正しくありません。";

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int Fail(char* out, std::size_t capacity)
{
    if (capacity > 0)
        out[0] = '\0';
    return 0;
}


bool IsAbsolute(const char* path)
{
    const char drive = FoldAscii(path[0]);
    return drive >= 'A' && drive <= 'Z' && path[1] == ':' && path[2] == '\\';
}

// Length of `text` without one final separator that is a character of its own.
std::size_t LengthWithoutFinalSeparator(const char* begin, std::size_t length)
{
    std::size_t i = 0;
    std::size_t lastStart = length;
    while (i < length) {
        lastStart = i;
        const auto c = static_cast<unsigned char>(begin[i]);
        i += (IsLeadByte(c) && i + 1 < length) ? 2 : 1;
    }
    if (lastStart < length && i - lastStart == 1 && begin[lastStart] == '\\')
        return lastStart;
    return length;
}

// Reads one path argument after a switch; advances `*cursor`.
int ReadPathArgument(const char** cursor, char* out, std::size_t capacity)
{
    const char* p = *cursor;
    while (IsBlank(*p))
        ++p;
    const char* begin = p;
    const char* end;
    if (*p == '"') {
        begin = ++p;
        while (*p && *p != '"')
            ++p;
        if (*p != '"')
            return 0;
        end = p++;
    } else {
        // A quote inside the run would end up inside the path, which no file name holds.
        while (*p && !IsBlank(*p)) {
            if (*p++ == '"')
                return 0;
        }
        end = p;
    }
    const auto length = static_cast<std::size_t>(end - begin);
    if (length == 0 || length >= capacity)
        return 0;
    std::memcpy(out, begin, length);
    out[length] = '\0';
    *cursor = p;
    return 1;
}
}

int ParseUninstCommandLine(const char* text, UninstOptions* options)
{
    const char* p = text;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0')
            return 1;
        if (*p != '/')
            return 0;
        const char letter = FoldAscii(p[1]);
        if (letter == '\0' || !(p[2] == '\0' || IsBlank(p[2]) || p[2] == '"'))
            return 0;
        p += 2;
        if (letter == 'S') {
            options->silent = 1;
        } else if (letter == 'R' || letter == 'C') {
            if (options->mode != UninstMode::Start)
                return 0;
            if (!ReadPathArgument(&p, options->originalProgram, sizeof options->originalProgram))
                return 0;
            options->mode = letter == 'R' ? UninstMode::Remove : UninstMode::Cleanup;
        } else {
            return 0;
        }
    }
}

int SamePath(const char* a, const char* b)
{
    std::size_t lengthA = std::strlen(a);
    std::size_t lengthB = std::strlen(b);
    if (lengthA >= 2 && a[0] == '"' && a[lengthA - 1] == '"') {
        ++a;
        lengthA -= 2;
    }
    if (lengthB >= 2 && b[0] == '"' && b[lengthB - 1] == '"') {
        ++b;
        lengthB -= 2;
    }
    lengthA = LengthWithoutFinalSeparator(a, lengthA);
    lengthB = LengthWithoutFinalSeparator(b, lengthB);
    if (lengthA != lengthB)
        return 0;
    for (std::size_t i = 0; i < lengthA;) {
        const auto c = static_cast<unsigned char>(a[i]);
        if (IsLeadByte(c) && i + 1 < lengthA) {
            // Both bytes of a double-byte character are exact: a trail byte may look like a letter.
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return 0;
            i += 2;
        } else {
            if (FoldAscii(a[i]) != FoldAscii(b[i]))
                return 0;
            ++i;
        }
    }
    return 1;
}

int FolderOfProgram(const char* path, char* out, std::size_t capacity)
{
    const unsigned nameStart = MemberNameOffset(path);
    if (nameStart == 0 || !IsAbsolute(path))
        return Fail(out, capacity);
    const std::size_t folderLength = nameStart - 1;
    // "X:" alone is a drive root: no product lives there.
    if (folderLength <= 2 || folderLength >= capacity)
        return Fail(out, capacity);
    std::memcpy(out, path, folderLength);
    out[folderLength] = '\0';
    return 1;
}

int BuildStartMenuFolder(const char* programsFolder, const char* gameDir, char* out, std::size_t capacity)
{
    if (!IsAbsolute(programsFolder) || gameDir[0] == '\0')
        return Fail(out, capacity);
    bool onlyDotsAndBlanks = true;
    for (const char* p = gameDir; *p;) {
        const auto c = static_cast<unsigned char>(*p);
        if (IsLeadByte(c) && p[1] != '\0') {
            onlyDotsAndBlanks = false;
            p += 2;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?')
            return Fail(out, capacity);
        if (c != '.' && c != ' ')
            onlyDotsAndBlanks = false;
        ++p;
    }
    if (onlyDotsAndBlanks || !CopyText(out, capacity, programsFolder) || !AppendPath(out, capacity, gameDir))
        return Fail(out, capacity);
    return 1;
}

int FormatCopyRemovalScript(const char* programPath, const char* folder, const char* batchPath, char* out,
                            std::size_t capacity)
{
    return JoinTexts(out, capacity,
                     {":Loop\r\ndel \"", programPath, "\"\r\nif exist \"", programPath, "\" goto Loop\r\nrmdir \"",
                      folder, "\"\r\ndel \"", batchPath, "\"\r\n"});
}

int BuildHandOverCommandLine(const char* copyPath, UninstMode mode, const char* originalProgram, int silent,
                             char* out, std::size_t capacity)
{
    if (mode == UninstMode::Start || capacity == 0)
        return Fail(out, capacity);
    return JoinTexts(out, capacity, {"\"", copyPath, mode == UninstMode::Remove ? "\" /r \"" : "\" /c \"",
                                     originalProgram, silent ? "\" /s" : "\""});
}
