// The dialogs as Windows builds them from the program's templates: every
// control in order with its id, class, style and place, and the font. A
// template edited by hand can lose a control or shift one without any other
// test noticing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/res/resource.h"

namespace {

struct Control {
    int id;
    const char* className;
    DWORD style;
    RECT dialogUnits;  // x, y, width, height as the template has them
};

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// Checks the children of dialog `id` against `expected`, in creation order.
void ExpectControls(UINT id, const std::vector<Control>& expected) {
    HWND dialog = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                       &NoHandling, 0);
    ASSERT_NE(nullptr, dialog) << id;
    size_t index = 0;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        ASSERT_LT(index, expected.size()) << "dialog " << id << " has a control too many";
        const Control& want = expected[index++];
        SCOPED_TRACE("dialog " + std::to_string(id) + ", control " + std::to_string(index));
        EXPECT_EQ(want.id, ::GetDlgCtrlID(child));
        EXPECT_EQ(want.className, ClassOf(child));
        EXPECT_EQ(want.style, static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE)));
        // Windows converts the origin and the size each on its own.
        RECT place = want.dialogUnits;
        ::MapDialogRect(dialog, &place);
        RECT actual = {};
        ::GetWindowRect(child, &actual);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(place.left, actual.left);
        EXPECT_EQ(place.top, actual.top);
        // An icon control takes the size of its icon.
        if ((want.style & SS_TYPEMASK) == SS_ICON && ClassOf(child) == "Static") continue;
        EXPECT_EQ(place.right, actual.right - actual.left);
        EXPECT_EQ(place.bottom, actual.bottom - actual.top);
    }
    EXPECT_EQ(expected.size(), index) << "dialog " << id << " lacks controls";

    LOGFONTA font = {};
    const HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(0, ::GetObjectA(handle, sizeof font, &font));
    EXPECT_STREQ("MS Sans Serif", font.lfFaceName);
    HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(-::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight);
    ::ReleaseDC(nullptr, screen);
    ::DestroyWindow(dialog);
}

}  // namespace

TEST(DialogLayout, MessageDialogHasItsButtonAndText) {
    ExpectControls(IDD_MESSAGE, {
        {IDOK, "Button", 0x50010001, {55, 53, 50, 14}},
        {IDC_MESSAGE_TEXT, "Static", 0x50020000, {16, 15, 129, 34}},
    });
}

TEST(DialogLayout, AboutBoxHasItsIconTwoLinesAndOk) {
    ExpectControls(IDD_ABOUT, {
        {0xFFFF, "Static", 0x50000003, {11, 17, 20, 20}},
        {0xFFFF, "Static", 0x50020080, {40, 10, 119, 8}},
        {0xFFFF, "Static", 0x50020000, {40, 25, 119, 8}},
        {IDOK, "Button", 0x50030001, {178, 7, 32, 14}},
    });
}

TEST(DialogLayout, InstallerDialogHasNoControls) { ExpectControls(IDD_INSTALLER, {}); }

// Every outcome message must show whole in the message dialog's text: a
// failure that goes on to ask for a restart is the longest, and a cut
// request would never be read.
TEST(DialogLayout, EveryOutcomeMessageFitsTheMessageText) {
    HWND dialog = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MESSAGE), nullptr,
                                       &NoHandling, 0);
    ASSERT_NE(nullptr, dialog);
    HWND text = ::GetDlgItem(dialog, IDC_MESSAGE_TEXT);
    RECT client = {};
    ::GetClientRect(text, &client);
    HDC dc = ::GetDC(text);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(text, WM_GETFONT, 0, 0)));
    for (UINT id = 102; id <= 113; ++id) {
        const wchar_t* message = nullptr;
        const int length = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&message), 0);
        ASSERT_GT(length, 0) << id;
        // As a left-aligned static control draws its text.
        RECT needed = {0, 0, client.right, 0};
        ::DrawTextW(dc, message, length, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        EXPECT_LE(needed.bottom, client.bottom) << "message " << id << " is cut";
        EXPECT_LE(needed.right, client.right) << "message " << id << " is cut";
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(text, dc);
    ::DestroyWindow(dialog);
}
