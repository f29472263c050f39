// ZandorelFE.exe's version record and icon, read back through the Windows API
// from a program linked with the same resource script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

class WindowsVersionRecord : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        ASSERT_GT(size, 0u) << "no version record";
        record.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, record.data()));
    }

    std::string text(const std::string& name) {
        void* value = nullptr;
        UINT length = 0;
        const std::string key = "\\StringFileInfo\\041004E4\\" + name;
        if (!VerQueryValueA(record.data(), key.c_str(), &value, &length) || length == 0) {
            return "<missing " + name + ">";
        }
        return static_cast<const char*>(value);
    }

    std::vector<char> record;
};

TEST_F(WindowsVersionRecord, NamesAndVersionTextsInTheItalianBlock) {
    EXPECT_EQ(text("ProductName"), "ZandorelFE");
    EXPECT_EQ(text("InternalName"), "ZandorelFE");
    EXPECT_EQ(text("OriginalFilename"), "ZandorelFE.exe");
    EXPECT_EQ(text("FileVersion"), "1.00");
    EXPECT_EQ(text("ProductVersion"), "1.00");
}

TEST_F(WindowsVersionRecord, NumericVersionIsOneZeroZeroZero) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_F(WindowsVersionRecord, LanguageIsItalianWithTheWesternCodePage) {
    struct Translation {
        WORD language;
        WORD codePage;
    }* translations = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translations->language, 0x0410);
    EXPECT_EQ(translations->codePage, 1252);
}

TEST(WindowsProgramIcon, HasTheWindowIconIn16And32Pixels) {
    const HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(FindResourceA(self, "IDI_ICON1", MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */),
              nullptr);
    for (const int size : {16, 32}) {
        const HANDLE icon = LoadImageA(self, "IDI_ICON1", IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap,
                   &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
        if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
        DestroyIcon(static_cast<HICON>(icon));
    }
}

}  // namespace
