// Answers message boxes as a person would: finds each box by its caption, records its text and icon,
// and presses the chosen button.
#include "harness/msgbox.h"

#include <algorithm>

namespace {

// Control identifiers of the parts of a message box (Windows and Wine differ for the icon).
constexpr int kTextId = 0xFFFF;
constexpr int kIconIds[] = {0x0014, 0x0440};

struct Finder {
    const char *caption;
    DWORD processId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK collectBox(HWND window, LPARAM param) {
    Finder *finder = reinterpret_cast<Finder *>(param);
    char cls[32], title[256];
    if (!IsWindowVisible(window) || !GetClassNameA(window, cls, sizeof cls) || strcmp(cls, "#32770") != 0)
        return TRUE;
    GetWindowTextA(window, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (strcmp(title, finder->caption) == 0 && (!finder->processId || pid == finder->processId))
        finder->boxes.push_back(window);
    return TRUE;
}

bool sameIcon(HICON a, HICON b) {
    if (!a || !b)
        return false;
    if (a == b)
        return true;
    // Another process's copy of a system icon: compare the pictures.
    ICONINFO ia, ib;
    if (!GetIconInfo(a, &ia))
        return false;
    if (!GetIconInfo(b, &ib)) {
        DeleteObject(ia.hbmColor);
        DeleteObject(ia.hbmMask);
        return false;
    }
    bool same = false;
    BITMAP ba, bb;
    if (ia.hbmColor && ib.hbmColor && GetObject(ia.hbmColor, sizeof ba, &ba) && GetObject(ib.hbmColor, sizeof bb, &bb) &&
        ba.bmWidth == bb.bmWidth && ba.bmHeight == bb.bmHeight) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = ba.bmWidth;
        info.bmiHeader.biHeight = ba.bmHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        std::vector<DWORD> pa(size_t(ba.bmWidth) * ba.bmHeight), pb(pa.size());
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, ia.hbmColor, 0, ba.bmHeight, pa.data(), &info, DIB_RGB_COLORS);
        GetDIBits(dc, ib.hbmColor, 0, bb.bmHeight, pb.data(), &info, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        same = pa == pb;
    }
    for (ICONINFO *i : {&ia, &ib}) {
        if (i->hbmColor)
            DeleteObject(i->hbmColor);
        if (i->hbmMask)
            DeleteObject(i->hbmMask);
    }
    return same;
}

UINT iconOf(HWND box) {
    HICON shown = nullptr;
    for (int id : kIconIds)
        if (HWND control = GetDlgItem(box, id))
            if ((shown = (HICON)SendMessageA(control, STM_GETICON, 0, 0)))
                break;
    if (!shown)
        return 0;
    for (const StandardIcon &k : kStandardIcons)
        if (sameIcon(shown, LoadIconA(nullptr, k.resource)))
            return k.flag;
    return 0;
}

} // namespace

MessageBoxWatcher::MessageBoxWatcher(const char *caption, int button, DWORD processId)
    : caption_(caption), button_(button), processId_(processId), thread_([this] { run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessage> MessageBoxWatcher::seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool MessageBoxWatcher::waitFor(size_t count, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (seen_.size() >= count)
                return true;
        }
        Sleep(20);
    }
    return false;
}

bool MessageBoxWatcher::answer(HWND box) {
    char text[2048] = {};
    HWND label = GetDlgItem(box, kTextId);
    if (!label)
        return false; // still being built
    GetWindowTextA(label, text, sizeof text);
    SeenMessage message{text, iconOf(box), (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0};
    HWND button = GetDlgItem(box, button_);
    if (!button)
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(message);
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), (LPARAM)button);
    return true;
}

void MessageBoxWatcher::run() {
    while (!stop_) {
        Finder finder{caption_.c_str(), processId_, {}};
        EnumWindows(collectBox, reinterpret_cast<LPARAM>(&finder));
        for (HWND box : finder.boxes) {
            if (std::find(answered_.begin(), answered_.end(), box) != answered_.end())
                continue;
            if (answer(box))
                answered_.push_back(box);
        }
        // Forget boxes that are gone, so a reused handle is answered again.
        answered_.erase(std::remove_if(answered_.begin(), answered_.end(), [](HWND w) { return !IsWindow(w); }),
                        answered_.end());
        Sleep(15);
    }
}

const StandardIcon kStandardIcons[4] = {{IDI_HAND, MB_ICONERROR},
                                        {IDI_EXCLAMATION, MB_ICONWARNING},
                                        {IDI_QUESTION, MB_ICONQUESTION},
                                        {IDI_ASTERISK, MB_ICONINFORMATION}};

const char *iconName(UINT icon) {
    switch (icon) {
    case MB_ICONERROR:
        return "error";
    case MB_ICONWARNING:
        return "warning";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONINFORMATION:
        return "information";
    default:
        return "none";
    }
}
