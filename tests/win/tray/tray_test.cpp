// The tray icon, the tray menu built from the step names, the menu bar and accelerators of the main window.
#include "testwindow.h"
#include "configdialog/configdialog.h"
#include "harness/screenshot.h"

#include "resources/resource.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "tray/tray.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// One line per item of a menu: its text and command, "----" for a separator, "[x]" when checked.
std::vector<std::string> describeMenu(HMENU menu) {
    std::vector<std::string> lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = "";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, UINT(i), TRUE, &item);
        if (item.fType & MFT_SEPARATOR) {
            lines.push_back("----");
            continue;
        }
        std::string line = std::string(text) + " " + (item.hSubMenu ? "popup" : std::to_string(item.wID));
        if (item.fState & MFS_CHECKED)
            line += " [x]";
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> stepLines(const char *names[8]) {
    std::vector<std::string> lines;
    for (unsigned step = 1; step <= 8; ++step)
        lines.push_back(std::string(names[step - 1]) + " " + std::to_string(32968 + step));
    return lines;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kLong70 = "Quiet battery saver for long train journeys with the lid half closed!!";

// The visible popup menu window of this process, or null.
HWND findPopupMenu() {
    struct Search {
        HWND found = nullptr;
    } search;
    EnumWindows(
        [](HWND candidate, LPARAM param) CALLBACK -> BOOL {
            char cls[16];
            DWORD pid = 0;
            GetWindowThreadProcessId(candidate, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(candidate) &&
                GetClassNameA(candidate, cls, sizeof cls) && strcmp(cls, "#32768") == 0) {
                reinterpret_cast<Search *>(param)->found = candidate;
                return FALSE;
            }
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

HWND waitForPopupMenu(DWORD timeoutMs = 15000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20))
        if (HWND menu = findPopupMenu())
            return menu;
    return nullptr;
}

bool iconIsAlive(HICON icon) {
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

} // namespace

using TrayMenu = TrayWindowTest;
using TrayIcon = TrayWindowTest;

TEST_F(TrayMenu, MenuBarOffersFileAndHelpAndAltKeysOpenAbout) {
    HMENU bar = GetMenu(window);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(describeMenu(bar), (std::vector<std::string>{"&File popup", "&Help popup"}));
    EXPECT_EQ(describeMenu(GetSubMenu(bar, 0)), (std::vector<std::string>{"E&xit 105"}));
    EXPECT_EQ(describeMenu(GetSubMenu(bar, 1)), (std::vector<std::string>{"&About ... 104"}));

    HACCEL table = LoadAcceleratorsA(app.instance, MAKEINTRESOURCEA(IDC_LUMORA));
    ASSERT_NE(table, nullptr);
    ACCEL keys[4] = {};
    ASSERT_EQ(CopyAcceleratorTableA(table, keys, 4), 2);
    for (const ACCEL &key : keys) {
        if (!key.cmd)
            continue;
        EXPECT_EQ(key.cmd, 104);
        EXPECT_EQ(key.fVirt & ~0x80, FALT) << "a character key with Alt, not a virtual key";
    }
    EXPECT_EQ(keys[0].key, '?');
    EXPECT_EQ(keys[1].key, '/');
}

TEST_F(TrayMenu, BuiltFromStepNamesAndCapabilities) {
    nameStep(1, "Turbo");
    nameStep(6, "Presentation");
    const char *names[8] = {"Turbo",  "Step 2",       "Step 3", "Step 4",
                            "Step 5", "Presentation", "Step 7", "Step 8"};
    const std::vector<std::string> tail = {
        "ShutDown Now 33075", "----",    "Auto StartUp 33076", "----", "Configuration ... 33074",
        "About ... 104",      "Exit 105"};
    struct Case {
        DWORD standby, hibernate;
        std::vector<std::string> middle;
    } cases[] = {
        {1, 1, {"StandBy Now 33071", "Hibernate Now 33072"}},
        {1, 0, {"StandBy Now 33071"}},
        {0, 1, {"Hibernate Now 33072"}},
        {0, 0, {}}, // "ShutDown Now" follows the first separator directly
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("standby " + std::to_string(c.standby) + ", hibernate " + std::to_string(c.hibernate));
        app.standbyAllowed = c.standby;
        app.hibernateAllowed = c.hibernate;
        ASSERT_EQ(BuildTrayMenu(window), 1);
        HMENU bar = GetMenu(window);
        EXPECT_EQ(describeMenu(bar), (std::vector<std::string>{"Menu popup", "&File popup", "&Help popup"}));
        EXPECT_EQ(describeMenu(GetSubMenu(bar, 0)),
                  stepLines(names) + std::vector<std::string>{"----"} + c.middle + tail);
        DeleteMenu(bar, 0, MF_BYPOSITION);
    }
}

TEST_F(TrayMenu, AutoStartUpCheckedOnlyWhenOn) {
    for (DWORD on : {1u, 0u}) {
        app.autoStartUp = on;
        ASSERT_EQ(BuildTrayMenu(window), 1);
        HMENU popup = GetSubMenu(GetMenu(window), 0);
        EXPECT_EQ(GetMenuState(popup, kCmdAutoStartUp, MF_BYCOMMAND) & MF_CHECKED,
                  on ? UINT(MF_CHECKED) : 0u);
        DeleteMenu(GetMenu(window), 0, MF_BYPOSITION);
    }
}

TEST_F(TrayMenu, MissingIniGivesKeyNamesAndNoMenuBarBuildsNothing) {
    const char *names[8] = {"Step 1", "Step 2", "Step 3", "Step 4", "Step 5", "Step 6", "Step 7", "Step 8"};
    ASSERT_EQ(BuildTrayMenu(window), 1);
    std::vector<std::string> items = describeMenu(GetSubMenu(GetMenu(window), 0));
    items.resize(8);
    EXPECT_EQ(items, stepLines(names));

    HWND bare =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, app.instance, nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(BuildTrayMenu(bare), 0);
    ShowTrayMenu(bare, 10, 10, 0); // nothing to show: returns at once
    MSG after;
    EXPECT_FALSE(PeekMessageA(&after, nullptr, WM_USER, WM_USER, PM_REMOVE)) << "a menu was tracked";
    DestroyWindow(bare);
}

TEST_F(TrayMenu, LongNameWholeInMenuAndCutInTooltip) {
    ASSERT_EQ(kLong70.size(), 70u);
    nameStep(3, kLong70);
    ASSERT_EQ(BuildTrayMenu(window), 1);
    char text[kTextSize] = "";
    GetMenuStringA(GetSubMenu(GetMenu(window), 0), 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), kLong70);

    NOTIFYICONDATAA record;
    FillTrayRecord(record, window, 0, nullptr, text);
    EXPECT_EQ(std::string(record.szTip), kLong70.substr(0, 63));
    EXPECT_TRUE(SetTrayIcon(window, kStepIcons[2], text, NIM_ADD));
    EXPECT_TRUE(SetTrayIcon(window, kStepIcons[2], text, NIM_MODIFY));
}

TEST_F(TrayMenu, ShowsPopupAtPointAndSendsTheChosenCommand) {
    nameStep(2, "Balanced");
    app.standbyAllowed = app.hibernateAllowed = 1;
    app.autoStartUp = 1;
    ASSERT_EQ(BuildTrayMenu(window), 1);

    std::atomic<bool> shot{false}, seen{false};
    std::thread user([&] {
        HWND popup = waitForPopupMenu();
        if (!popup)
            return;
        seen = true;
        shot = saveWindowPicture(popup, artifactsFolder() + "tray-menu.bmp");
        // Down twice to "Balanced", then Enter.
        PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    });
    ShowTrayMenu(window, 200, 150, 0);
    user.join();
    EXPECT_TRUE(seen) << "the popup menu never appeared";
    EXPECT_TRUE(shot) << "no picture of the tray menu";
    EXPECT_EQ(received(), (std::vector<std::string>{"WM_COMMAND 32970", "WM_USER"}));
}

TEST_F(TrayMenu, MissingPopupShowsNothing) {
    ShowTrayMenu(window, 10, 10, 7);
    EXPECT_TRUE(received().empty()) << "nothing shown, nothing posted";
}

TEST_F(TrayIcon, RecordIsTheFirstVersionWithCallbackAndAllThreeFlags) {
    static_assert(sizeof(void *) == 8 || NOTIFYICONDATAA_V1_SIZE == 88, "88 bytes on 32-bit Windows");
    NOTIFYICONDATAA record;
    memset(&record, 0x5A, sizeof record);
    FillTrayRecord(record, window, 0, nullptr, nullptr);
    EXPECT_EQ(record.cbSize, DWORD(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(record.hWnd, window);
    EXPECT_EQ(record.uID, 0u);
    EXPECT_EQ(record.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(record.uCallbackMessage, 32868u);
    EXPECT_EQ(record.hIcon, nullptr);
    EXPECT_STREQ(record.szTip, "");

    FillTrayRecord(record, window, 0, nullptr, "Kelvane");
    EXPECT_STREQ(record.szTip, "Kelvane");
}

TEST_F(TrayIcon, AddedModifiedForEveryStepAndDeleted) {
    ASSERT_TRUE(SetTrayIcon(window, IDI_STEP1, "Kelvane", NIM_ADD));
    for (unsigned step = 1; step <= 8; ++step) {
        std::string name = "Step " + std::to_string(step);
        EXPECT_TRUE(SetTrayIcon(window, kStepIcons[step - 1], name.c_str(), NIM_MODIFY)) << name;
    }
    EXPECT_TRUE(RemoveTrayIcon(window));
    EXPECT_FALSE(SetTrayIcon(window, IDI_STEP2, "Step 2", NIM_MODIFY)) << "the icon is gone";
    EXPECT_FALSE(RemoveTrayIcon(window)) << "nothing left to delete";
}

TEST_F(TrayIcon, IconDestroyedAfterEveryCallWhetherOrNotItSucceeded) {
    HICON added = HICON(LoadImageA(app.instance, MAKEINTRESOURCEA(IDI_STEP1), IMAGE_ICON, 16, 16, 0));
    ASSERT_TRUE(iconIsAlive(added));
    EXPECT_TRUE(NotifyTray(window, NIM_ADD, 0, added, "Kelvane"));
    EXPECT_FALSE(iconIsAlive(added));

    HICON refused = HICON(LoadImageA(app.instance, MAKEINTRESOURCEA(IDI_STEP4), IMAGE_ICON, 16, 16, 0));
    ASSERT_TRUE(iconIsAlive(refused));
    EXPECT_FALSE(NotifyTray(window, NIM_MODIFY, 9, refused, "no such icon"));
    EXPECT_FALSE(iconIsAlive(refused));
}

// The sizes an icon group's directory lists, as drawn into the resource (not scaled on loading).
std::vector<int> iconGroupSizes(HINSTANCE instance, unsigned id) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
    const BYTE *directory =
        found ? static_cast<const BYTE *>(LockResource(LoadResource(instance, found))) : nullptr;
    std::vector<int> sizes;
    if (!directory)
        return sizes;
    int count = directory[4] | directory[5] << 8;
    for (int i = 0; i < count; ++i)
        sizes.push_back(directory[6 + 14 * i]); // each entry: width, height, ...
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

TEST(StepPictures, EveryStepHasItsOwnIconAtEverySmallAndLargeSizeAndTreeImages) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    std::vector<std::vector<uint32_t>> small;
    for (unsigned step = 1; step <= 8; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        // The small icon at 100 to 200 % scaling, and the large one up to 150 %.
        EXPECT_EQ(iconGroupSizes(instance, kStepIcons[step - 1]), (std::vector<int>{16, 20, 24, 32, 48}));
        uint32_t face = 0;
        for (int size : {16, 20, 24, 32, 48}) {
            HICON icon = HICON(
                LoadImageA(instance, MAKEINTRESOURCEA(kStepIcons[step - 1]), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr);
            ICONINFO info;
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP picture;
            GetObjectA(info.hbmColor, sizeof picture, &picture);
            EXPECT_EQ(picture.bmWidth, size) << "the group holds a " << size << "-pixel image";
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            // Above the number, the badge's face has the step's colour at every size.
            std::vector<uint32_t> pixels = iconPixels(icon, size);
            uint32_t here = pixels[(size / 8) * size + size / 2];
            if (size == 16) {
                small.push_back(pixels);
                face = here;
                EXPECT_NE(face, 0u) << "the face is drawn";
            }
            EXPECT_EQ(here, face) << size << " pixels";
            DestroyIcon(icon);
        }
    }
    for (size_t a = 0; a < small.size(); ++a)
        for (size_t b = a + 1; b < small.size(); ++b)
            EXPECT_NE(small[a], small[b]) << "steps " << a + 1 << " and " << b + 1 << " look alike";

    // Bitmap 138: eight 16-pixel images side by side, blue where the tree shows through. The trees' list
    // keeps each badge's colour (a 4-bit list made steps 1-3 red).
    HIMAGELIST images = LoadStepImages(instance, 16);
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 8);
    HBITMAP strip = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_STEP_IMAGES));
    ASSERT_NE(strip, nullptr);
    HDC dc = CreateCompatibleDC(nullptr), drawn = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, strip), oldDrawn = SelectObject(drawn, CreateCompatibleBitmap(dc, 16, 16));
    EXPECT_EQ(GetPixel(dc, 0, 0), COLORREF(0x00FF0000)) << "corners are the mask blue";
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(GetPixel(dc, i * 16 + 8, 3), COLORREF(0x00FF0000)) << "image " << i << " has a badge";
        ImageList_Draw(images, i, drawn, 0, 0, ILD_NORMAL);
        EXPECT_EQ(GetPixel(drawn, 8, 3), GetPixel(dc, i * 16 + 8, 3)) << "image " << i << " keeps its colour";
    }
    DeleteObject(SelectObject(drawn, oldDrawn));
    DeleteDC(drawn);
    ImageList_Destroy(images);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(strip);

    // The strips for a small-icon size scaled to 125, 150 and 200 %.
    for (auto [size, id] :
         {std::pair{20, IDB_STEP_IMAGES_20}, {24, IDB_STEP_IMAGES_24}, {32, IDB_STEP_IMAGES_32}}) {
        HIMAGELIST scaled =
            ImageList_LoadImageA(instance, MAKEINTRESOURCEA(id), size, 0, 0x00FF0000, IMAGE_BITMAP, 0);
        ASSERT_NE(scaled, nullptr) << size;
        int width = 0, height = 0;
        ImageList_GetIconSize(scaled, &width, &height);
        EXPECT_EQ(ImageList_GetImageCount(scaled), 8) << size;
        EXPECT_EQ(height, size);
        ImageList_Destroy(scaled);
    }
}
