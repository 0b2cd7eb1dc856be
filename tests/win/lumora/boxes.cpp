// Reading a message box of another process: its text from the control, its icon by comparing pictures.
#include "boxes.h"

#include "harness/msgbox.h"
#include "program.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kTextId = 0xFFFF;
constexpr int kIconIds[] = {0x0440, 0x0014};

// 32-bit pixels of a screen rectangle, or of an icon drawn over one background colour.
std::vector<DWORD> pixels(HDC source, int x, int y, int width, int height, HICON icon, COLORREF background) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (icon) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    } else {
        BitBlt(memory, 0, 0, width, height, source ? source : screen, x, y, SRCCOPY);
    }
    GdiFlush();
    std::vector<DWORD> out(static_cast<DWORD *>(bits), static_cast<DWORD *>(bits) + size_t(width) * height);
    for (DWORD &p : out)
        p &= 0x00FFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

// Share of pixels that differ noticeably.
double difference(const std::vector<DWORD> &a, const std::vector<DWORD> &b) {
    size_t differ = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8)
            d += abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF));
        differ += d > 48;
    }
    return a.empty() ? 1.0 : double(differ) / double(a.size());
}

// The standard icon the control shows, once it has been drawn; 0 when none matches.
UINT iconOnScreen(HWND control) {
    RECT r;
    if (!GetWindowRect(control, &r))
        return 0;
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return 0;
    std::vector<DWORD> shown = pixels(nullptr, r.left, r.top, width, height, nullptr, 0);
    COLORREF background = RGB(GetBValue(shown[0]), GetGValue(shown[0]), GetRValue(shown[0]));
    UINT best = 0;
    double bestDiff = 1.0;
    for (const StandardIcon &k : kStandardIcons) {
        HICON icon = LoadIconA(nullptr, k.resource);
        double d = difference(shown, pixels(nullptr, 0, 0, width, height, icon, background));
        if (d < bestDiff) {
            bestDiff = d;
            best = k.flag;
        }
    }
    return bestDiff < 0.05 ? best : 0;
}

} // namespace

HWND findKelvaneBox(DWORD pid) { return findProcessWindow(pid, "#32770", "Kelvane"); }

bool answerKelvaneBox(DWORD pid, ShownBox *shown, DWORD timeoutMs) {
    HWND box = nullptr;
    if (!waitUntil(
            [&] { return (box = findKelvaneBox(pid)) && GetDlgItem(box, kTextId) && GetDlgItem(box, IDOK); },
            timeoutMs))
        return false;
    char text[2048] = {};
    GetWindowTextA(GetDlgItem(box, kTextId), text, sizeof text);
    shown->text = text;
    HWND control = nullptr;
    for (int id : kIconIds)
        if ((control = GetDlgItem(box, id)))
            break;
    shown->icon = 0;
    // The box paints itself shortly after it shows.
    if (control)
        waitUntil([&] { return (shown->icon = iconOnScreen(control)) != 0; }, 5000);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(box, IDOK));
    return true;
}
