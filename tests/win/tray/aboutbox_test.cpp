// The About box as a real modal dialog: its texts, its eight step icons, and closing by OK or Escape.
#include "testwindow.h"
#include "harness/screenshot.h"

#include "resources/resource.h"
#include "state/appstate.h"
#include "tray/tray.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace {

HWND findAboutBox() {
    struct Search {
        HWND found = nullptr;
    } search;
    EnumWindows(
        [](HWND candidate, LPARAM param) CALLBACK -> BOOL {
            char cls[16], title[64];
            DWORD pid = 0;
            GetWindowThreadProcessId(candidate, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(candidate) &&
                GetClassNameA(candidate, cls, sizeof cls) && strcmp(cls, "#32770") == 0 &&
                GetWindowTextA(candidate, title, sizeof title) && strcmp(title, "About Kelvane") == 0) {
                reinterpret_cast<Search *>(param)->found = candidate;
                return FALSE;
            }
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

HWND waitForAboutBox(DWORD timeoutMs = 15000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20))
        if (HWND box = findAboutBox())
            return box;
    return nullptr;
}

struct Control {
    std::string cls, text;
    int id;
    LONG style;
    RECT rect; // in dialog client coordinates
    HICON icon;
};

std::vector<Control> controlsOf(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[32] = "", text[128] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        Control control = {cls, text, GetDlgCtrlID(child), GetWindowLongA(child, GWL_STYLE), {}, nullptr};
        GetWindowRect(child, &control.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&control.rect), 2);
        if (_stricmp(cls, "Static") == 0 && (control.style & SS_TYPEMASK) == SS_ICON)
            control.icon = HICON(SendMessageA(child, STM_GETICON, 0, 0));
        controls.push_back(control);
    }
    return controls;
}

constexpr INT_PTR kNeverAppeared = -2, kNeverClosed = -3;

// Opens the box as the main window does and lets `user` act on it from another thread; the
// dialog's result, kNeverAppeared, or kNeverClosed when the user's action left it open.
INT_PTR runAboutBox(HWND owner, const std::function<void(HWND)> &user) {
    std::atomic<bool> appeared{false}, closed{false};
    std::thread person([&] {
        HWND box = waitForAboutBox();
        if (!box)
            return;
        appeared = true;
        user(box);
        for (DWORD start = GetTickCount(); GetTickCount() - start < 15000 && !closed; Sleep(20))
            closed = !IsWindow(box);
        if (!closed)
            EndDialog(box, kNeverClosed); // so that a failing test ends instead of hanging
    });
    app.aboutOpen = 1;
    INT_PTR result = DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutDlgProc, 0);
    person.join();
    return appeared ? result : kNeverAppeared;
}

} // namespace

using AboutBox = TrayWindowTest;

TEST_F(AboutBox, ShowsNameAndStepIconsInTwoRowsOfFour) {
    std::vector<Control> controls;
    RECT client = {}, expectedClient = {0, 0, 227, 56};
    std::vector<std::vector<uint32_t>> shown;
    bool shot = false;
    INT_PTR result = runAboutBox(window, [&](HWND box) {
        controls = controlsOf(box);
        GetClientRect(box, &client);
        MapDialogRect(box, &expectedClient);
        for (const Control &control : controls)
            if (control.icon)
                shown.push_back(iconPixels(control.icon, 32));
        shot = saveWindowPicture(box, artifactsFolder() + "about-box.bmp");
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(app.aboutOpen, 0u);
    EXPECT_TRUE(shot) << "no picture of the About box";
    EXPECT_EQ(client.right, expectedClient.right);
    EXPECT_EQ(client.bottom, expectedClient.bottom);

    std::vector<std::string> texts;
    std::vector<Control> icons;
    for (const Control &control : controls) {
        if (control.icon)
            icons.push_back(control);
        else if (_stricmp(control.cls.c_str(), "Static") == 0)
            texts.push_back(control.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Kelvane+ Utility ", "Lumora.EXE"}));
    auto ok = std::find_if(controls.begin(), controls.end(), [](const Control &c) { return c.id == IDOK; });
    ASSERT_NE(ok, controls.end());
    EXPECT_EQ(ok->text, "OK");
    EXPECT_EQ(ok->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    // Steps 1-4 above, 5-8 below, left to right, each showing its own step icon.
    ASSERT_EQ(icons.size(), 8u);
    ASSERT_EQ(shown.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const RECT &r = icons[i].rect;
        EXPECT_EQ(r.top, icons[i < 4 ? 0 : 4].rect.top) << "same row";
        if (i % 4) {
            EXPECT_GT(r.left, icons[i - 1].rect.right - 1) << "right of the one before";
        }
        if (i >= 4) {
            EXPECT_GT(r.top, icons[0].rect.bottom - 1) << "second row below the first";
            EXPECT_EQ(r.left, icons[i - 4].rect.left) << "columns line up";
        }
        HICON own = HICON(LoadImageA(app.instance, MAKEINTRESOURCEA(kStepIcons[i]), IMAGE_ICON, 32, 32, 0));
        EXPECT_EQ(shown[i], iconPixels(own, 32));
        DestroyIcon(own);
    }
}

TEST_F(AboutBox, EscapeClosesLikeOk) {
    INT_PTR result = runAboutBox(window, [&](HWND box) {
        HWND focus = GetDlgItem(box, IDOK);
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(app.aboutOpen, 0u);
}

TEST_F(AboutBox, OtherMessagesAreLeftToTheDialog) {
    app.aboutOpen = 1;
    EXPECT_EQ(AboutDlgProc(window, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(AboutDlgProc(window, WM_COMMAND, 1003, 0), FALSE);
    EXPECT_EQ(AboutDlgProc(window, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(app.aboutOpen, 1u) << "only OK and Cancel close the box";
}
