// Settings file rules on real files through the platform's profile functions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "settings/settings.h"
#include "tests/support/scoped_locale.h"
#include "tests/support/temp_dir.h"

using testsupport::TempDir;
using velmora::PluginSettings;
using velmora::ReadSettingsFile;

namespace {

PluginSettings ReadWith(const std::string& body) {
  TempDir dir;
  std::wstring path = dir.File(L"Velmora.ini");
  EXPECT_TRUE(testsupport::WriteTextFile(path, "[Setting]\r\n" + body));
  return ReadSettingsFile(path);
}

void ExpectDefaults(const PluginSettings& s) {
  EXPECT_TRUE(s.Auto);
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(s.Unit, 0);
  EXPECT_EQ(s.Seconds, 3.0);
  EXPECT_EQ(s.Frames, 90);
  EXPECT_EQ(s.Fit, 1);
  EXPECT_EQ(s.Align, 4);
}

TEST(SettingsFile, MissingFileGivesDefaultsAndCreatesNothing) {
  TempDir dir;
  std::wstring path = dir.File(L"Velmora.ini");
  ExpectDefaults(ReadSettingsFile(path));
  EXPECT_FALSE(testsupport::FileExists(path));
}

TEST(SettingsFile, EmptySectionGivesDefaults) { ExpectDefaults(ReadWith("")); }

struct SecondsCase {
  const char* text;
  double expected;
};

class SecondsText : public testing::TestWithParam<SecondsCase> {};

TEST_P(SecondsText, LoadsOrFallsBack) {
  const std::string line = std::string("Seconds=") + GetParam().text + "\r\n";
  EXPECT_EQ(ReadWith(line).Seconds, GetParam().expected);
  testsupport::ScopedLocale comma(testsupport::kDecimalCommaLocale);
  ASSERT_TRUE(comma.Switched());
  EXPECT_EQ(ReadWith(line).Seconds, GetParam().expected) << "under a decimal comma";
}

INSTANTIATE_TEST_SUITE_P(Table, SecondsText,
                         testing::Values(SecondsCase{"0", 3.0}, SecondsCase{"-1", 3.0},
                                         SecondsCase{"abc", 3.0}, SecondsCase{"", 3.0},
                                         SecondsCase{"2.5s", 2.5}, SecondsCase{"1e1", 10.0},
                                         SecondsCase{"2.5", 2.5}, SecondsCase{"nan", 3.0},
                                         // Infinite lengths cannot become frames.
                                         SecondsCase{"inf", 3.0}, SecondsCase{"1e999", 3.0},
                                         SecondsCase{"-inf", 3.0}, SecondsCase{"0.001", 0.001},
                                         SecondsCase{"1e-400", 3.0}, SecondsCase{"2,5", 2.0}));

struct IntCase {
  const char* line;
  int PluginSettings::*field;
  int expected;
};

class IntegerKeys : public testing::TestWithParam<IntCase> {};

TEST_P(IntegerKeys, RangeRules) {
  PluginSettings s = ReadWith(std::string(GetParam().line) + "\r\n");
  EXPECT_EQ(s.*(GetParam().field), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Table, IntegerKeys,
                         testing::Values(IntCase{"Unit=2", &PluginSettings::Unit, 0},
                                         IntCase{"Unit=1", &PluginSettings::Unit, 1},
                                         IntCase{"Unit=-1", &PluginSettings::Unit, 0},
                                         IntCase{"Frames=0", &PluginSettings::Frames, 90},
                                         IntCase{"Frames=-5", &PluginSettings::Frames, 90},
                                         IntCase{"Frames=1", &PluginSettings::Frames, 1},
                                         IntCase{"Frames=120", &PluginSettings::Frames, 120},
                                         IntCase{"Fit=5", &PluginSettings::Fit, 1},
                                         IntCase{"Fit=0", &PluginSettings::Fit, 0},
                                         IntCase{"Fit=4", &PluginSettings::Fit, 4},
                                         IntCase{"Fit=-1", &PluginSettings::Fit, 1},
                                         IntCase{"Align=9", &PluginSettings::Align, 4},
                                         IntCase{"Align=0", &PluginSettings::Align, 0},
                                         IntCase{"Align=8", &PluginSettings::Align, 8},
                                         IntCase{"Align=-2", &PluginSettings::Align, 4}));

TEST(SettingsFile, BooleansAreOnUnlessZero) {
  PluginSettings s = ReadWith("Auto=2\r\nEnabled=0\r\n");
  EXPECT_TRUE(s.Auto);
  EXPECT_FALSE(s.Enabled);
  s = ReadWith("Auto=0\r\nEnabled=-3\r\n");
  EXPECT_FALSE(s.Auto);
  EXPECT_TRUE(s.Enabled);
}

TEST(SettingsFile, FallbackIsPerKey) {
  PluginSettings s = ReadWith("Frames=0\r\nFit=3\r\nAlign=77\r\nSeconds=4\r\n");
  EXPECT_EQ(s.Frames, 90);
  EXPECT_EQ(s.Fit, 3);
  EXPECT_EQ(s.Align, 4);
  EXPECT_EQ(s.Seconds, 4.0);
}

TEST(SettingsFile, DefaultsWrittenInOrder) {
  TempDir dir;
  std::wstring path = dir.File(L"Velmora.ini");
  EXPECT_TRUE(velmora::WriteSettingsFile(path, velmora::kDefaultSettings));
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadFileBytes(path, bytes));
  EXPECT_EQ(bytes,
            "[Setting]\r\nAuto=1\r\nEnabled=1\r\nUnit=0\r\nSeconds=3\r\nFrames=90\r\nFit=1\r\n"
            "Align=4\r\n");
}

TEST(SettingsFile, SaveKeepsOtherKeysAndSections) {
  TempDir dir;
  std::wstring path = dir.File(L"Velmora.ini");
  ASSERT_TRUE(testsupport::WriteTextFile(
      path, "[Other]\r\nKeep=yes\r\n[Setting]\r\nNote=mine\r\nFit=0\r\n"));
  PluginSettings s = velmora::kDefaultSettings;
  s.Auto = false;
  s.Unit = 1;
  s.Frames = 45;
  velmora::WriteSettingsFile(path, s);
  wchar_t text[64];
  GetPrivateProfileStringW(L"Other", L"Keep", L"", text, 64, path.c_str());
  EXPECT_STREQ(text, L"yes");
  GetPrivateProfileStringW(L"Setting", L"Note", L"", text, 64, path.c_str());
  EXPECT_STREQ(text, L"mine");
  PluginSettings back = ReadSettingsFile(path);
  EXPECT_FALSE(back.Auto);
  EXPECT_EQ(back.Unit, 1);
  EXPECT_EQ(back.Frames, 45);
  EXPECT_EQ(back.Fit, 1);
}

TEST(SettingsFile, SecondsRoundTripThroughSixDigits) {
  TempDir dir;
  std::wstring path = dir.File(L"Velmora.ini");
  PluginSettings s = velmora::kDefaultSettings;
  s.Seconds = 2.1234567;
  velmora::WriteSettingsFile(path, s);
  wchar_t text[64];
  GetPrivateProfileStringW(L"Setting", L"Seconds", L"", text, 64, path.c_str());
  EXPECT_STREQ(text, L"2.12346");
  EXPECT_EQ(ReadSettingsFile(path).Seconds, 2.12346);
}

TEST(SettingsFormat, GeneralNotation) {
  EXPECT_EQ(velmora::FormatSeconds(3.0), L"3");
  EXPECT_EQ(velmora::FormatSeconds(2.5), L"2.5");
  EXPECT_EQ(velmora::FormatSeconds(1234567.0), L"1.23457e+06");
  EXPECT_EQ(velmora::FormatSeconds(0.0001), L"0.0001");
  EXPECT_EQ(velmora::FormatSeconds(0.00001), L"1e-05");
  EXPECT_EQ(velmora::FormatSeconds(123456.0), L"123456");
}

TEST(SettingsFormat, ParseStopsAtFirstNonNumber) {
  EXPECT_EQ(velmora::ParseSeconds(L"  1.5x"), 1.5);
  EXPECT_EQ(velmora::ParseSeconds(L"+2"), 2.0);
  EXPECT_EQ(velmora::ParseSeconds(L"x1"), 0.0);
  // A non-ASCII character ends the number instead of being folded into it.
  EXPECT_EQ(velmora::ParseSeconds(L"1\u30002"), 1.0);
  EXPECT_EQ(velmora::ParseSeconds(L"\uFF11"), 0.0);
}

struct PathCase {
  const wchar_t* module;
  const wchar_t* settings;
};

class SettingsPathRule : public testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathRule, FromModulePath) {
  EXPECT_EQ(velmora::SettingsPathForModule(GetParam().module), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsPathRule,
    testing::Values(PathCase{L"C:\\host\\Plugin\\Velmora.aux2", L"C:\\host\\Plugin\\Velmora.ini"},
                    PathCase{L"C:\\a.b\\Velmora.x.aux2", L"C:\\a.b\\Velmora.x.ini"},
                    // No dot in the file name: never the module itself, never
                    // a file named after a folder.
                    PathCase{L"C:\\host\\Velmora", L"C:\\host\\Velmora.ini"},
                    PathCase{L"C:\\a.b\\Velmora", L"C:\\a.b\\Velmora.ini"},
                    PathCase{L"Velmora", L"Velmora.ini"}, PathCase{L"", L""}));

// A copy of this program, loaded without running any of it, from a folder
// whose path is well past 260 characters.
TEST(SettingsPathRule, ModulePathIsWholePast260Characters) {
  TempDir dir;
  std::wstring copy = dir.Path();
  for (int i = 0; i < 6; ++i) {
    copy += std::wstring(50, wchar_t(L'a' + i)) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(copy.c_str(), nullptr));
  }
  copy += L"Velmora.aux2";
  wchar_t self[1024];
  ASSERT_LT(GetModuleFileNameW(nullptr, self, 1024), 1024u);
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  HMODULE module = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module, nullptr) << GetLastError();
  std::wstring path = velmora::ModuleFilePath(module);
  FreeLibrary(module);
  EXPECT_EQ(path, copy);
}

TEST(SettingsPathRule, LegacyFileIsInTheSameFolder) {
  EXPECT_EQ(velmora::LegacySettingsPathFor(L"C:\\p\\Velmora.ini"), L"C:\\p\\Tessling.ini");
  EXPECT_EQ(velmora::LegacySettingsPathFor(L"Velmora.ini"), L"");
}

}  // namespace
