// The program's resources as compiled: what the dialogs, the messages and
// the version query will find at run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/outcome.h"
#include "platform/dialog_template.h"
#include "ui/res/resource.h"

namespace {

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string ResourceBytes(LPCSTR type, LPCSTR name) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceExA(module, type, name, kEnglishUs);
    if (!found) return std::string();
    const void* data = ::LockResource(::LoadResource(module, found));
    return std::string(static_cast<const char*>(data), ::SizeofResource(module, found));
}

DialogTemplateHeader Template(UINT id) {
    const std::string bytes = ResourceBytes(MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id));
    DialogTemplateHeader header = {};
    EXPECT_TRUE(ParseDialogTemplateHeader(bytes.data(), bytes.size(), &header)) << id;
    return header;
}

std::wstring Wide(const char* utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], size);
    text.resize(static_cast<size_t>(size) - 1);
    return text;
}

std::wstring LoadedString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::string VersionString(const std::string& block, const std::string& name) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    std::string data(size, '\0');
    if (!size || !::GetFileVersionInfoA(path, 0, size, &data[0])) return "<no version>";
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\" + block + "\\" + name;
    if (!::VerQueryValueA(&data[0], query.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "<missing>";
    }
    return value;
}

}  // namespace

TEST(Resources, DialogTemplatesHaveTheirStylesPlacesAndSizes) {
    const DialogTemplateHeader about = Template(IDD_ABOUT);
    EXPECT_FALSE(about.extended);
    EXPECT_EQ(0x80C800C0u, about.style);
    EXPECT_EQ(0u, about.exStyle);
    EXPECT_EQ(4, about.itemCount);
    EXPECT_EQ(0, about.x);
    EXPECT_EQ(0, about.y);
    EXPECT_EQ(217, about.cx);
    EXPECT_EQ(55, about.cy);

    const DialogTemplateHeader installer = Template(IDD_INSTALLER);
    EXPECT_TRUE(installer.extended);
    EXPECT_EQ(0x80C000C0u, installer.style);
    EXPECT_EQ(static_cast<uint32_t>(WS_EX_APPWINDOW), installer.exStyle);
    EXPECT_EQ(0, installer.itemCount);
    EXPECT_EQ(0, installer.x);
    EXPECT_EQ(0, installer.y);
    EXPECT_EQ(185, installer.cx);
    EXPECT_EQ(92, installer.cy);

    const DialogTemplateHeader message = Template(IDD_MESSAGE);
    EXPECT_FALSE(message.extended);
    EXPECT_EQ(0x80C000C0u, message.style);
    EXPECT_EQ(0u, message.exStyle);
    EXPECT_EQ(2, message.itemCount);
    EXPECT_EQ(0, message.x);
    EXPECT_EQ(0, message.y);
    EXPECT_EQ(162, message.cx);
    EXPECT_EQ(75, message.cy);
}

TEST(Resources, EveryStringIsEnglishUsAndReadsAsWritten) {
    // Strings 96 to 111 share one block of the string table.
    EXPECT_FALSE(ResourceBytes(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(101 / 16 + 1)).empty());

    EXPECT_EQ(Wide("&About QMX_SET..."), LoadedString(IDS_ABOUT_MENU));
    EXPECT_EQ(Wide("モジュールのインストールが完了しました。"), LoadedString(IDS_DONE_JA));
    EXPECT_EQ(Wide("モジュールのインストールが完了しました。\r\nWindowsを再起動してください。"),
              LoadedString(IDS_REBOOT_JA));
    EXPECT_EQ(Wide("ユーザの権限がAdministratorでないため、プログラムの実行を中止しました。"),
              LoadedString(IDS_NOT_ADMIN_JA));
    EXPECT_EQ(Wide("本モジュールが適用する環境では、ありませんでした。"),
              LoadedString(IDS_NOT_APPLICABLE_JA));
    EXPECT_EQ(Wide("Module installation complete."), LoadedString(IDS_DONE_EN));
    EXPECT_EQ(Wide("Module installation complete. To make the changes take effectm restart your computer."),
              LoadedString(IDS_REBOOT_EN));
    EXPECT_EQ(Wide("Current user does not have administrator privleges. Installation canceled."),
              LoadedString(IDS_NOT_ADMIN_EN));
    EXPECT_EQ(Wide("It was not the environment which this module applies."),
              LoadedString(IDS_NOT_APPLICABLE_EN));
    EXPECT_EQ(Wide("モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。"),
              LoadedString(IDS_FAILED_JA));
    EXPECT_EQ(Wide("モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。"
                   "Windowsを再起動してください。"),
              LoadedString(IDS_FAILED_REBOOT_JA));
    EXPECT_EQ(Wide("Module installation failed. Some modules could not be replaced."),
              LoadedString(IDS_FAILED_EN));
    EXPECT_EQ(Wide("Module installation failed. Some modules could not be replaced. To make the "
                   "other changes take effect, restart your computer."),
              LoadedString(IDS_FAILED_REBOOT_EN));
    EXPECT_EQ(std::wstring(), LoadedString(116));
}

TEST(Resources, IconIsOne32By32ImageIn16Colours) {
    const std::string group = ResourceBytes(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_APP));
    ASSERT_EQ(6u + 14u, group.size());
    EXPECT_EQ(1, group[4]);                         // one image
    EXPECT_EQ(32, static_cast<unsigned char>(group[6]));   // width
    EXPECT_EQ(32, static_cast<unsigned char>(group[7]));   // height
    EXPECT_EQ(16, static_cast<unsigned char>(group[8]));   // colours
    EXPECT_EQ(4, static_cast<unsigned char>(group[12]));   // bits per pixel
    EXPECT_NE(nullptr, ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP)));
}

TEST(Resources, VersionResourceNamesTheProgram) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::string data(::GetFileVersionInfoSizeA(path, &ignored), '\0');
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, static_cast<DWORD>(data.size()), &data[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(&data[0], "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);  // 1.0.0.0
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);

    EXPECT_EQ("1.00", VersionString("040904b0", "FileVersion"));
    EXPECT_EQ("1.00", VersionString("040904b0", "ProductVersion"));
    EXPECT_EQ("QMXSET", VersionString("040904b0", "FileDescription"));
    EXPECT_EQ("QMXSET", VersionString("040904b0", "InternalName"));
    EXPECT_EQ("QMXSET", VersionString("040904b0", "ProductName"));
    EXPECT_EQ("QMXSET.EXE", VersionString("040904b0", "OriginalFilename"));
}

TEST(Resources, ManifestAsksForTheTrueVersionAndHighestRights) {
    const std::string manifest = ResourceBytes(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    EXPECT_NE(std::string::npos, manifest.find("level=\"highestAvailable\""));
    for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(std::string::npos, manifest.find(os)) << os;
    }
}
