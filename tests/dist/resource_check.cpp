// The resources of the built QMXSET.EXE beside this program, loaded from that
// very file as the program finds them at run time, and held to what users
// see: each message a run can end with reads as QMXCHECK.EXE prints it, can
// pass through the ANSI calls in the user's code page, and shows whole in the
// message dialog; the About box names the version the file's properties give.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "check/message_texts.h"
#include "engine/site/machine.h"
#include "ui/outcome_strings.h"
#include "ui/res/resource.h"

namespace {

const OutcomeMessage kMessages[] = {OutcomeMessage::kDone,          OutcomeMessage::kReboot,
                                    OutcomeMessage::kNotAdmin,      OutcomeMessage::kNotApplicable,
                                    OutcomeMessage::kFailed,        OutcomeMessage::kFailedReboot,
                                    OutcomeMessage::kUndone,        OutcomeMessage::kUndoneReboot,
                                    OutcomeMessage::kNothingToUndo, OutcomeMessage::kUndoFailed};

std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.rfind(L'\\')) + L"\\QMXSET.EXE";
}

HMODULE Program() {
    static const HMODULE program = ::LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return program;
}

std::wstring Loaded(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(Program(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::string InCodePage(const std::wstring& text, UINT codePage) {
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    return bytes;
}

// English texts meet every code page; Japanese ones must come back unchanged
// from Shift-JIS, or the user reads question marks.
bool ShowsInTheUsersCodePage(const std::wstring& text, int language) {
    if (language == QMX_LANG_ENGLISH) {
        for (wchar_t c : text) {
            if (c >= 0x80) return false;
        }
        return true;
    }
    const std::string bytes = InCodePage(text, 932);
    std::wstring back(bytes.size(), L'\0');
    back.resize(static_cast<size_t>(::MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                          &back[0], static_cast<int>(back.size()))));
    return back == text;
}

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

TEST(ProgramResources, EveryOutcomeMessageReadsAsThePackageCheckPrintsIt) {
    ASSERT_NE(nullptr, Program()) << "no QMXSET.EXE beside the test";
    for (int language : {QMX_LANG_ENGLISH, QMX_LANG_JAPANESE}) {
        for (OutcomeMessage message : kMessages) {
            const UINT id = OutcomeStringId(message, language);
            const std::wstring text = Loaded(id);
            EXPECT_EQ(MessageText(message, language), InCodePage(text, CP_UTF8)) << id;
            EXPECT_TRUE(ShowsInTheUsersCodePage(text, language)) << id;
        }
    }
    for (UINT id : {IDS_ABOUT_MENU, IDS_USAGE_EN, IDS_USAGE_JA}) {
        const std::wstring text = Loaded(id);
        EXPECT_FALSE(text.empty()) << id;
        EXPECT_TRUE(ShowsInTheUsersCodePage(text, id == IDS_USAGE_JA ? QMX_LANG_JAPANESE : QMX_LANG_ENGLISH)) << id;
    }
}

// A message cut short, the restart request at the end of the longest above
// all, would never be read.
TEST(ProgramResources, EveryOutcomeMessageShowsWholeInTheMessageDialog) {
    HWND dialog = ::CreateDialogParamW(Program(), MAKEINTRESOURCEW(IDD_MESSAGE), nullptr, &NoHandling, 0);
    ASSERT_NE(nullptr, dialog);
    HWND text = ::GetDlgItem(dialog, IDC_MESSAGE_TEXT);
    ASSERT_NE(nullptr, text);
    RECT client = {};
    ::GetClientRect(text, &client);
    HDC dc = ::GetDC(text);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(text, WM_GETFONT, 0, 0)));
    for (int language : {QMX_LANG_ENGLISH, QMX_LANG_JAPANESE}) {
        for (OutcomeMessage message : kMessages) {
            const UINT id = OutcomeStringId(message, language);
            const std::wstring shown = Loaded(id);
            // As a left-aligned static control draws its text.
            RECT needed = {0, 0, client.right, 0};
            ::DrawTextW(dc, shown.data(), static_cast<int>(shown.size()), &needed,
                        DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
            EXPECT_LE(needed.bottom, client.bottom) << "message " << id << " is cut";
            EXPECT_LE(needed.right, client.right) << "message " << id << " is cut";
        }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(text, dc);
    ::DestroyWindow(dialog);
}

TEST(ProgramResources, AboutBoxNamesTheVersionOfTheFile) {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    std::string data(::GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), &data[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(&data[0], L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::wstring version = L" Version " + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS));

    HWND about = ::CreateDialogParamW(Program(), MAKEINTRESOURCEW(IDD_ABOUT), nullptr, &NoHandling, 0);
    ASSERT_NE(nullptr, about);
    std::wstring named;
    for (HWND child = ::GetWindow(about, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t line[128] = {};
        ::GetWindowTextW(child, line, 128);
        if (std::wstring(line).find(L" Version ") != std::wstring::npos) named = line;
    }
    ::DestroyWindow(about);
    ASSERT_GE(named.size(), version.size()) << "no line of the About box names a version";
    EXPECT_EQ(version, named.substr(named.size() - version.size()));
}
