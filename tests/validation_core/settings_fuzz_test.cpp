// Two thousand generated settings files read through the platform's profile
// functions: whatever the bytes, every field must come out usable, and
// reading must leave the file exactly as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "tests/support/temp_dir.h"
#include "tests/validation/fuzz_support.h"

namespace {

constexpr int kFiles = 2000;

std::string Describe(int index, const validation::IniCase& c) {
  std::string head = c.Bytes.substr(0, 120);
  for (char& ch : head) {
    if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) >= 0x7f) ch = '?';
  }
  std::string text = "file ";
  text.append(std::to_string(index)).append(" (").append(c.Kind).append(", ");
  text.append(std::to_string(c.Bytes.size())).append(" bytes): ").append(head);
  return text;
}

TEST(SettingsFuzz, EveryFieldLandsInRangeAndTheFileIsUntouched) {
  auto start = std::chrono::steady_clock::now();
  testsupport::TempDir dir;
  validation::Rng rng(0x5e771265u);
  int clean = 0;
  for (int i = 0; i < kFiles; ++i) {
    validation::IniCase c = validation::GenerateIni(rng);
    // A name of its own per file: the platform caches profiles by name.
    std::wstring path = dir.File(L"fuzz" + std::to_wstring(i) + L".ini");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, c.Bytes));

    velmora::PluginSettings s = velmora::ReadSettingsFile(path);

    SCOPED_TRACE(Describe(i, c));
    EXPECT_TRUE(s.Unit == 0 || s.Unit == 1) << s.Unit;
    EXPECT_TRUE(s.Seconds > 0.0 && std::isfinite(s.Seconds)) << s.Seconds;
    EXPECT_GE(s.Frames, 1);
    EXPECT_TRUE(s.Fit >= 0 && s.Fit <= 4) << s.Fit;
    EXPECT_TRUE(s.Align >= 0 && s.Align <= 8) << s.Align;
    if (c.Clean) {
      ++clean;
      EXPECT_EQ(s.Auto, c.ExpectedAuto);
      EXPECT_EQ(s.Enabled, c.ExpectedEnabled);
      EXPECT_EQ(s.Unit, c.ExpectedUnit);
      EXPECT_EQ(s.Seconds, c.ExpectedSeconds);
      EXPECT_EQ(s.Frames, c.ExpectedFrames);
      EXPECT_EQ(s.Fit, c.ExpectedFit);
      EXPECT_EQ(s.Align, c.ExpectedAlign);
    }

    std::string after;
    ASSERT_TRUE(testsupport::ReadFileBytes(path, after));
    EXPECT_TRUE(after == c.Bytes) << "reading changed the file";
    if (HasFailure()) break;  // one reported file is enough to go on
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("settings files read in-process: %d (%d with predicted values) in %.1f s\n", kFiles,
              clean, seconds);
}

}  // namespace
