// The version resource of the built module, read back the way Explorer's
// file properties read it: the numbers and texts must agree with the
// project's version and with the name table the host shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/version.h"
#include "tests/support/module_fixture.h"

namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring path = testsupport::BuiltModulePath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource in the module";
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data_.data()));
  }

  // A string of the first language block that the translation table names.
  std::wstring Text(const wchar_t* name) {
    struct Translation {
      WORD Language;
      WORD CodePage;
    };
    Translation* table = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&table), &bytes) ||
        bytes < sizeof(Translation)) {
      ADD_FAILURE() << "no translation table";
      return std::wstring();
    }
    wchar_t key[96];
    swprintf(key, 96, L"\\StringFileInfo\\%04x%04x\\%ls", table[0].Language, table[0].CodePage,
             name);
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data_.data(), key, reinterpret_cast<void**>(&value), &chars) ||
        value == nullptr) {
      ADD_FAILURE() << "no value " << testing::PrintToString(std::wstring(name));
      return std::wstring();
    }
    return value;
  }

  std::vector<unsigned char> data_;
};

TEST_F(VersionResource, NumbersAreTheProjectVersion) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT bytes = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes));
  ASSERT_GE(bytes, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), VELMORA_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), VELMORA_VERSION_MINOR);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), VELMORA_VERSION_PATCH);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, TextsNameTheProductAndMatchTheNameTable) {
  EXPECT_EQ(Text(L"ProductName"), L"Velmora");
  EXPECT_EQ(Text(L"FileVersion"), VELMORA_VERSION_WSTRING);
  EXPECT_EQ(Text(L"ProductVersion"), VELMORA_VERSION_WSTRING);
  EXPECT_EQ(Text(L"OriginalFilename"), L"Velmora.aux2");
  EXPECT_NE(Text(L"FileDescription").find(L"Velmora"), std::wstring::npos);

  // The host shows "Velmora version X.Y.Z" from the name table; the file's
  // properties must not tell another version.
  testsupport::InstalledModule installed;
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  const velmora::CommonPluginTable* table = installed.Module().GetCommonPluginTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(std::wstring(table->Name), Text(L"ProductName"));
  EXPECT_EQ(std::wstring(table->Information),
            std::wstring(L"Velmora version ") + Text(L"ProductVersion"));
}

}  // namespace
