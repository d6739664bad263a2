#include "app/completion_text.h"
#include "common/path.h"
#include "common/sjis.h"

#include <cstring>

namespace {
const char kSucceeded[] = "DirectX Setup Succeeded : ";
const char kFailed[] = "DirectX Setup Failed : ";

struct ResultRow {
    int result;
    const char* prefix;
    const char* text;
    int isError;
};

const ResultRow kResultRows[] = {
    {1, kSucceeded, "DirectX のセットアップが成功しました。再起動して下さい。", 0},
    {0, kSucceeded, "DirectX のセットアップが成功しました。", 0},
    {-1, kFailed, "DirectX はこのバージョンの Windows をサポートしていません。", 1},
    {-2, kFailed, "必要なソースファイルのうちのいずれかが見つかりませんでした。", 1},
    {-5, kFailed, "ファイルのバージョンを検証できなかったか、誤りでした。", 1},
    {-6, kFailed, "セットアッププログラムによるインストール中にディスク領域が足りなくなりました。", 1},
    {-7, kFailed, "必要な .inf ファイルが見つかりませんでした。", 1},
    {-8, kFailed, "セットアッププログラムが作業ディレクトリが見つかりませんでした。", 1},
    {-9, kFailed, "内部エラーが発生しました。", 1},
    {-11, kFailed, "サポートされていないバージョンの OS です。", 1},
};


int Fail(char* out, std::size_t capacity)
{
    if (capacity > 0)
        out[0] = '\0';
    return 0;
}
}

int DirectXResultMessage(int result, DirectXMessage* message)
{
    for (const ResultRow& row : kResultRows) {
        if (row.result == result) {
            *message = {row.prefix, row.text, row.isError};
            return 1;
        }
    }
    return 0;
}

int BuildFollowUpCommandLine(const char* program, const char* installFolder, const char* argumentFile,
                             char* out, std::size_t capacity)
{
    char argument[kPathCapacity];
    if (!CopyText(argument, sizeof argument, installFolder) || !AppendPath(argument, sizeof argument, argumentFile))
        return Fail(out, capacity);
    return JoinTexts(out, capacity, {program, " \"", argument, "\""});
}

int BuildDirectXFolder(const char* programPath, char* out, std::size_t capacity)
{
    const unsigned cut = MemberNameOffset(programPath);
    if (cut == 0 || cut >= capacity)
        return Fail(out, capacity);
    std::memcpy(out, programPath, cut);
    out[cut] = '\0';
    if (!AppendPath(out, capacity, "directx"))
        return Fail(out, capacity);
    return 1;
}

int FormatRemovalScript(const char* programPath, const char* pifPath, const char* batchPath, char* out,
                        std::size_t capacity)
{
    return JoinTexts(out, capacity,
                     {":Loop\r\ndel \"", programPath, "\"\r\nif exist \"", programPath, "\" goto Loop\r\ndel \"",
                      pifPath, "\"\r\ndel \"", batchPath, "\"\r\n"});
}
