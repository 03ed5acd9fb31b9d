// What a host sees of the built module through its exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/version.h"
#include "tests/support/module_fixture.h"

using testsupport::InstalledModule;

namespace {

TEST(Exports, VersionAndNameTable) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load()) << installed.Module().Error();
  auto& m = installed.Module();
  EXPECT_EQ(m.RequiredVersion(), 2011700u);
  const velmora::CommonPluginTable* table = m.GetCommonPluginTable();
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(table->Name, L"Velmora");
  EXPECT_EQ(std::wstring(table->Information),
            std::wstring(L"Velmora version ") + VELMORA_VERSION_WSTRING);
  EXPECT_EQ(m.GetCommonPluginTable(), table);
}

TEST(Exports, LoadLineWithLogger) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load());
  hostsim::Host host(2011700);
  auto& m = installed.Module();
  m.InitializeLogger(host.Logger());
  EXPECT_TRUE(m.InitializePlugin(2011700));
  ASSERT_EQ(host.InfoLines().size(), 1u);
  EXPECT_EQ(host.InfoLines()[0], L"本体バージョン 2011700 で読み込みました");
}

TEST(Exports, NoLoggerStillInitialisesAndLogsNothing) {
  InstalledModule installed;
  ASSERT_TRUE(testsupport::WriteTextFile(installed.Folder().File(L"Velmora.ini"),
                                         "[Setting]\r\nUnit=1\r\nFrames=12\r\n"));
  ASSERT_TRUE(installed.Load());
  hostsim::Host host(4294967295u);
  auto& m = installed.Module();
  ASSERT_TRUE(m.Start(host, /*withLogger=*/false)) << m.Error();
  EXPECT_TRUE(host.InfoLines().empty());
  // A logger handed over afterwards gets later lines but no load line, and
  // the settings file was read all the same.
  m.InitializeLogger(host.Logger());
  host.SetMedia(L"C:\\img\\a.png", 0.0, 3840, 2160);
  hostsim::SimObject& image = host.AddImage(0, 0, 9, L"C:\\img\\a.png");
  host.Select({&image});
  ASSERT_TRUE(host.RunObjectMenu());
  EXPECT_EQ(image.Length(), 12);
  EXPECT_EQ(host.InfoLines(), std::vector<std::wstring>{L"選んだ画像を 1 個揃えました"});
}

TEST(Exports, LargestVersionPrintsUnsigned) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load());
  hostsim::Host host(4294967295u);
  installed.Module().InitializeLogger(host.Logger());
  installed.Module().InitializePlugin(4294967295u);
  ASSERT_EQ(host.InfoLines().size(), 1u);
  EXPECT_EQ(host.InfoLines()[0], L"本体バージョン 4294967295 で読み込みました");
}

TEST(Exports, RegistrationSteps) {
  InstalledModule installed;
  ASSERT_TRUE(installed.Load());
  hostsim::Host host;
  ASSERT_TRUE(installed.Module().Start(host)) << installed.Module().Error();
  std::vector<std::string> expected = {
      "CreateEditHandle()",
      "RegisterResetHandler(handler)",
      "RegisterEventHandler(1,0)",
      "RegisterEventHandler(3,0)",
      "RegisterObjectMenu(画像の長さと大きさを揃える)",
      "RegisterConfigMenu(Velmora の設定...)",
  };
  EXPECT_EQ(host.CallTexts(), expected);
  EXPECT_EQ(host.Registered().EditHandlesCreated, 1);
  EXPECT_EQ(testsupport::PluginWindowsInThisProcess(), 1);

  installed.Module().UninitializePlugin();
  EXPECT_EQ(testsupport::PluginWindowsInThisProcess(), 0);
  // A second call finds nothing left to destroy.
  installed.Module().UninitializePlugin();
  EXPECT_TRUE(host.Violations().empty());
}

TEST(Exports, ReloadInTheSameProcessGivesAWorkingWindow) {
  for (int round = 0; round < 3; ++round) {
    InstalledModule installed;
    ASSERT_TRUE(installed.Load());
    hostsim::Host host;
    ASSERT_TRUE(installed.Module().Start(host));
    EXPECT_EQ(testsupport::PluginWindowsInThisProcess(), 1) << "round " << round;
    installed.Module().UninitializePlugin();
    installed.Module().Unload();
  }
}

}  // namespace
