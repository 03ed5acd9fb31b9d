// The module finds, migrates and reads its settings file beside itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

using testsupport::InstalledModule;

namespace {

// The settings the module loaded, as the object-menu command applies them:
// the length it gives a 30 fps image and the zoom text it writes.
struct Applied {
  int frames;
  std::string zoom;
};

Applied ApplyOnce(InstalledModule& installed) {
  hostsim::Host host;
  EXPECT_TRUE(installed.Module().Start(host)) << installed.Module().Error();
  host.SetMedia(L"C:\\img\\a.png", 0.0, 3840, 2160);
  hostsim::SimObject& image = host.AddImage(0, 0, 9, L"C:\\img\\a.png");
  host.Select({&image});
  EXPECT_TRUE(host.RunObjectMenu());
  Applied applied{image.Length(),
                  image.Item(hostsim::kDrawEffect, hostsim::kZoomItem).value_or("")};
  installed.Module().UninitializePlugin();
  return applied;
}

// What the host's log says of the settings at load, after the load line: a
// copy of the earlier release's file, and a warning for each key whose text
// was not taken as written, with the value used instead; nothing for a clean
// file or none.
TEST(SettingsFileEndToEnd, SettingsNotTakenAreSaidAtLoad) {
  struct Case {
    const wchar_t* file;  // Velmora.ini or Tessling.ini, or none
    const char* ini;
    std::vector<std::pair<std::wstring, std::wstring>> untaken;  // key=text, value used
  } const cases[] = {
      {nullptr, "", {}},
      {L"Velmora.ini",
       "[Setting]\r\nAuto=0\r\nEnabled=2\r\nUnit=1\r\nSeconds=2.5\r\nFrames=0x10\r\nFit=4\r\n"
       "Align=8\r\n",
       {}},
      {L"Velmora.ini",
       "[Setting]\r\nAuto=true\r\nUnit=2\r\nSeconds=2,5\r\nFrames=\r\nFit=9\r\nAlign=abc\r\n",
       {{L"Auto=true", L"0（オフ）"},
        {L"Unit=2", L"0（秒）"},
        {L"Seconds=2,5", L"2"},
        {L"Frames=", L"90"},
        {L"Fit=9", L"1（全体が収まる）"},
        {L"Align=abc", L"0（左上）"}}},
      {L"Velmora.ini",
       "[Setting]\r\nAuto=18446744073709551616\r\nUnit=0\r\nSeconds=0\r\nFrames=4294967297\r\n"
       "Fit=0X3\r\nAlign=-\r\n",
       {{L"Auto=18446744073709551616", L"0（オフ）"},
        {L"Seconds=0", L"3"},
        {L"Frames=4294967297", L"1"},
        {L"Fit=0X3", L"0（変えない）"},
        {L"Align=-", L"0（左上）"}}},
      // Past what is read, the rest of a text is unknown.
      {L"Velmora.ini",
       "[Setting]\r\nAuto=0000000000000000000000000000000000000000000000000000000000000001\r\n",
       {{L"Auto=000000000000000000000000000000000000000000000000000000000000000", L"0（オフ）"}}},
      {L"Tessling.ini", "[Setting]\r\nFit=2\r\n", {}},
  };
  for (const Case& c : cases) {
    InstalledModule installed;
    const std::wstring path = installed.Folder().File(L"Velmora.ini");
    if (c.file != nullptr) {
      ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(c.file), c.ini));
    }
    ASSERT_TRUE(installed.Load());
    hostsim::Host host;
    ASSERT_TRUE(installed.Module().Start(host));
    std::vector<std::wstring> info = {L"本体バージョン 2011700 で読み込みました"}, warn;
    if (c.file != nullptr && std::wstring(c.file) == L"Tessling.ini") {
      info.push_back(L"以前のリリースの設定ファイル " + installed.Folder().File(c.file) + L" を " +
                     path + L" にコピーして読み込みました");
    }
    for (const auto& [text, used] : c.untaken) {
      std::wstring line = L"設定ファイル " + path;
      line.append(L" の ").append(text).append(L" はそのまま使えないため、").append(used);
      warn.push_back(line.append(used.back() == L'）' ? L"" : L" ").append(L"を使います"));
    }
    EXPECT_EQ(host.InfoLines(), info);
    EXPECT_EQ(host.WarnLines(), warn);
    installed.Module().UninitializePlugin();
  }
}

TEST(SettingsFileEndToEnd, NoFilesGiveDefaultsAndNoFile) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load());
  Applied applied = ApplyOnce(installed);
  EXPECT_EQ(applied.frames, 90);
  EXPECT_EQ(applied.zoom, "50.000");
  EXPECT_FALSE(testsupport::FileExists(installed.Folder().File(L"Velmora.ini")));
}

TEST(SettingsFileEndToEnd, SettingsFileBesideTheModuleIsRead) {
  InstalledModule installed;
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"),
                                         "[Setting]\r\nUnit=1\r\nFrames=45\r\nFit=0\r\n"));
  ASSERT_TRUE(installed.Load());
  Applied applied = ApplyOnce(installed);
  EXPECT_EQ(applied.frames, 45);
  EXPECT_EQ(applied.zoom, "100.00");  // Fit 0 leaves the zoom alone
}

TEST(SettingsFileEndToEnd, LegacyFileIsMigratedAndKept) {
  InstalledModule installed;
  std::string legacy = "[Setting]\r\nUnit=1\r\nFrames=12\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Tessling.ini"), legacy));
  ASSERT_TRUE(installed.Load());
  EXPECT_EQ(ApplyOnce(installed).frames, 12);
  std::string copied, kept;
  ASSERT_TRUE(testsupport::ReadFileBytes(installed.Folder().File(L"Velmora.ini"), copied));
  ASSERT_TRUE(testsupport::ReadFileBytes(installed.Folder().File(L"Tessling.ini"), kept));
  EXPECT_EQ(copied, legacy);
  EXPECT_EQ(kept, legacy);
}

TEST(SettingsFileEndToEnd, ExistingSettingsFileWinsOverLegacy) {
  InstalledModule installed;
  std::string mine = "[Setting]\r\nUnit=1\r\nFrames=20\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"), mine));
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Tessling.ini"),
                                         "[Setting]\r\nUnit=1\r\nFrames=12\r\n"));
  ASSERT_TRUE(installed.Load());
  EXPECT_EQ(ApplyOnce(installed).frames, 20);
  std::string after;
  ASSERT_TRUE(testsupport::ReadFileBytes(installed.Folder().File(L"Velmora.ini"), after));
  EXPECT_EQ(after, mine);
}

TEST(SettingsFileEndToEnd, ModuleWithoutDotUsesIniBesideIt) {
  // The trailing dot keeps LoadLibraryW from appending ".dll"; the module's
  // own path then has no dot in its file name.
  InstalledModule installed(L"VelmoraPlugin");
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"VelmoraPlugin.ini"),
                                         "[Setting]\r\nUnit=1\r\nFrames=33\r\n"));
  std::string moduleBytes;
  ASSERT_TRUE(testsupport::ReadFileBytes(installed.ModulePath(), moduleBytes));
  ASSERT_TRUE(installed.Module().Load(installed.ModulePath() + L".")) << installed.Module().Error();
  EXPECT_EQ(ApplyOnce(installed).frames, 33);
  std::string after;
  ASSERT_TRUE(testsupport::ReadFileBytes(installed.ModulePath(), after));
  EXPECT_EQ(after.size(), moduleBytes.size());
  EXPECT_TRUE(after == moduleBytes);
}

TEST(SettingsFileEndToEnd, PathLongerThan260IsNeverCut) {
  InstalledModule base;
  // Nested folders make the module's path well past 260 characters.
  std::wstring folder = base.Folder().Path();
  for (int i = 0; i < 6; ++i) {
    folder += std::wstring(50, wchar_t(L'a' + i)) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  std::wstring module = folder + L"Velmora.aux2";
  ASSERT_GT(module.size(), 300u);
  ASSERT_TRUE(CopyFileW(testsupport::BuiltModulePath().c_str(), module.c_str(), FALSE));
  std::string legacy = "[Setting]\r\nUnit=1\r\nFrames=77\r\n";
  ASSERT_TRUE(testsupport::WriteTextFile(folder + L"Tessling.ini", legacy));

  hostsim::PluginModule m;
  ASSERT_TRUE(m.Load(module)) << m.Error();
  hostsim::Host host;
  ASSERT_TRUE(m.Start(host));
  m.UninitializePlugin();
  m.Unload();

  // The legacy file beside the module is found and copied beside it; a cut
  // path would have looked in a folder further up. (Whether the profile
  // functions then read so long a path is the platform's affair.)
  std::string copied;
  ASSERT_TRUE(testsupport::ReadFileBytes(folder + L"Velmora.ini", copied));
  EXPECT_EQ(copied, legacy);
}

}  // namespace
