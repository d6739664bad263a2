#include "wizard/wizard.h"

#include <cstring>

#include "app/session.h"
#include "common/winhelp.h"
#include "wizard/banner_check.h"

namespace {
int ReportLoadFailure(const char* path)
{
    char text[1024];
    FormatText(text, sizeof text, "Can't load \"%s\"", path);
    ShowErrorBox(text);
    return 0;
}

// The section for a checked banner, with the file's pixel rows copied in.
HBITMAP CreateBannerSection(const unsigned char* file, const BannerLayout& layout)
{
    // A local copy: the header sits at an odd offset inside the file block.
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    std::memcpy(&info.bmiHeader, file + kBannerInfoOffset, kBannerInfoHeaderSize);
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !bits) {
        if (bitmap)
            DeleteObject(bitmap);
        return nullptr;
    }
    // The section's rows have the same DWORD-aligned length as the rule's, so the
    // checked byte count is exactly the section's size.
    std::memcpy(bits, file + kBannerPixelOffset, layout.pixelBytes);
    GdiFlush();
    return bitmap;
}
}

int LoadBanner(HWND window, int id, const char* path)
{
    HWND control = GetDlgItem(window, id);
    if (!control)
        return 1;
    uint32_t size = 0;
    unsigned char* file = static_cast<unsigned char*>(ReadWholeFile(path, &size));
    if (!file)
        return ReportLoadFailure(path);
    BannerLayout layout;
    HBITMAP bitmap = CheckBannerLayout(file, size, &layout) ? CreateBannerSection(file, layout) : nullptr;
    GlobalFree(file);
    if (!bitmap)
        return ReportLoadFailure(path);
    g_session.bannerBitmap = bitmap;
    HBITMAP previous = reinterpret_cast<HBITMAP>(
        SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous && previous != bitmap)
        DeleteObject(previous);
    return 1;
}
