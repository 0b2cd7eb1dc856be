// Screen pictures for the tests: a window as it is on the screen, and an icon's pixels.
#include "harness/screenshot.h"

#include <cstdio>
#include <cstring>

namespace {

struct Capture {
    int width = 0, height = 0;
    std::vector<uint8_t> bits; // 24-bit rows, bottom row first, padded to 4 bytes
};

Capture captureScreen(const RECT &rect) {
    Capture capture;
    capture.width = rect.right - rect.left;
    capture.height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, capture.width, capture.height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    size_t stride = (size_t(capture.width) * 3 + 3) & ~size_t(3);
    const uint8_t *p = static_cast<const uint8_t *>(bits);
    capture.bits.assign(p, p + stride * capture.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

bool uniform(const Capture &capture) {
    for (size_t i = 3; i + 2 < capture.bits.size(); i += 3)
        if (capture.bits[i] != capture.bits[0] || capture.bits[i + 1] != capture.bits[1] ||
            capture.bits[i + 2] != capture.bits[2])
            return false;
    return true;
}

bool writeBmp(const std::string &path, const Capture &capture) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = capture.width;
    header.biHeight = capture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = DWORD(capture.bits.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
              fwrite(capture.bits.data(), 1, capture.bits.size(), out) == capture.bits.size();
    return fclose(out) == 0 && ok;
}

// Adds the window's frame and caption: without a window manager nobody draws them on the screen,
// but a reviewer wants to see the title, so they are drawn here as the system draws captions.
Capture withFrame(HWND window, const RECT &windowRect, const RECT &clientRect, const Capture &client) {
    Capture whole;
    whole.width = windowRect.right - windowRect.left;
    whole.height = windowRect.bottom - windowRect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = whole.width;
    info.bmiHeader.biHeight = whole.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    HDC memory = CreateCompatibleDC(nullptr);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT frame = {0, 0, whole.width, whole.height};
    FillRect(memory, &frame, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(memory, &frame, EDGE_RAISED, BF_RECT);
    int left = clientRect.left - windowRect.left, top = clientRect.top - windowRect.top;
    RECT caption = {left, GetSystemMetrics(SM_CYDLGFRAME), whole.width - left, top};
    if (caption.bottom > caption.top)
        DrawCaption(window, memory, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
    GdiFlush();
    size_t stride = (size_t(whole.width) * 3 + 3) & ~size_t(3);
    size_t clientStride = (size_t(client.width) * 3 + 3) & ~size_t(3);
    uint8_t *p = static_cast<uint8_t *>(bits);
    for (int y = 0; y < client.height; ++y) {
        int row = whole.height - 1 - (top + y); // both bottom row first
        memcpy(p + stride * row + size_t(left) * 3,
               client.bits.data() + clientStride * (client.height - 1 - y), size_t(client.width) * 3);
    }
    whole.bits.assign(p, p + stride * whole.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return whole;
}

} // namespace

bool saveWindowPicture(HWND window, const std::string &path, DWORD timeoutMs) {
    // The window's thread paints on its own; Wine copies the painting to the X server a moment
    // later, so the picture counts as ready once two captures in a row agree and are not blank.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Capture previous;
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(100)) {
        RECT windowRect, clientRect;
        if (!GetWindowRect(window, &windowRect) || !GetClientRect(window, &clientRect) ||
            clientRect.right <= 0 || clientRect.bottom <= 0)
            continue;
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&clientRect), 2);
        Capture current = captureScreen(clientRect);
        if (!uniform(current) && current.width == previous.width && current.height == previous.height &&
            current.bits == previous.bits)
            return writeBmp(path, withFrame(window, windowRect, clientRect, current));
        previous = std::move(current);
    }
    return false;
}

std::vector<uint32_t> iconPixels(HICON icon, int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC memory = CreateCompatibleDC(nullptr);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    PatBlt(memory, 0, 0, size, size, BLACKNESS);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const uint32_t *p = static_cast<const uint32_t *>(bits);
    std::vector<uint32_t> pixels(p, p + size * size);
    for (uint32_t &pixel : pixels)
        pixel &= 0x00FFFFFF; // the colour only
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

std::string artifactsFolder() {
    return KELVANE_ARTIFACTS_DIR;
}
