// The resources the program carries: strings, templates, icon and version record.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/win_app.h"
#include "res/resource.h"

namespace {

// The program's resources, as linked into this test program from the same objects.
const void* ResourceBytes(const wchar_t* type, const wchar_t* name, DWORD* size,
                          WORD language = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED))
{
    HRSRC found = ::FindResourceExW(nullptr, type, name, language);
    if (!found)
        return nullptr;
    *size = ::SizeofResource(nullptr, found);
    return ::LockResource(::LoadResource(nullptr, found));
}

TEST(ConsoleResources, StringsAndTemplatesAreInSimplifiedChinese)
{
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), L"关于 ZelLogConsole(&A)...");
    EXPECT_EQ(LoadResourceString(IDP_SOCKETS_INIT_FAILED), L"Windows 套接字初始化失败。");
    DWORD size = 0;
    // Strings live in blocks of 16: ids 96..111 are block 7.
    EXPECT_NE(ResourceBytes(RT_STRING, MAKEINTRESOURCEW(IDS_ABOUTBOX / 16 + 1), &size), nullptr);
    EXPECT_NE(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_CONSOLE_DIALOG), &size), nullptr);
    EXPECT_NE(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX), &size), nullptr);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(ConsoleResources, IconIsOne128PixelImageIn32BitColour)
{
    DWORD size = 0;
    const auto* group =
        static_cast<const IconGroup*>(ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME), &size));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count, 1);
    EXPECT_EQ(group->entries[0].width, 128);
    EXPECT_EQ(group->entries[0].height, 128);
    EXPECT_EQ(group->entries[0].bitCount, 32);
}

TEST(ConsoleResources, ManifestAsksForThemedControlsInvokerLevelAndDpiAwareness)
{
    DWORD size = 0;
    const void* bytes =
        ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), &size, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!bytes)
        bytes = ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), &size);
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(static_cast<const char*>(bytes), size);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

CString VersionString(const std::vector<BYTE>& info, const wchar_t* field)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const CString path = CString(L"\\StringFileInfo\\080404B0\\") + field;
    if (!::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return L"<missing>";
    return CString(value);
}

TEST(ConsoleResources, VersionRecordNamesTheProgramInChineseWithUnicodeStrings)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    std::vector<BYTE> info(::GetFileVersionInfoSizeW(path, &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        ::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(VersionString(info, L"FileDescription"), L"ZelLogConsole");
    EXPECT_EQ(VersionString(info, L"InternalName"), L"ZelLogConsole.exe");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"ZelLogConsole.exe");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.1");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.0.0.1");
}

} // namespace
