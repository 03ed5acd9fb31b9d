// Generated settings files loaded the way the host loads them: the module is
// loaded beside the file, started, and made to align one pasted image. What
// it writes to the image must follow from settings in their ranges (and, for
// the files whose values are predictable, from exactly those values), and
// neither the settings file nor a legacy file may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "hostsim/host.h"
#include "hostsim/plugin_module.h"
#include "tests/support/module_fixture.h"
#include "tests/validation/fuzz_support.h"
#include "tests/validation/module_checks.h"

namespace {

constexpr int kFiles = 300;
constexpr double kScreenW = 1920, kScreenH = 1080, kImageW = 4000, kImageH = 3000;

struct Fitted {
  double Zoom, X, Y;
};

// Zoom and offsets of the 4000 × 3000 test image on a 1920 × 1080 screen.
Fitted Expected(int fit, int align) {
  double sx = kScreenW / kImageW, sy = kScreenH / kImageH;
  double s = fit == 1 ? std::min(sx, sy) : fit == 2 ? std::max(sx, sy) : fit == 3 ? sx : sy;
  int column = align % 3, row = align / 3;
  return {s * 100.0, (kScreenW - kImageW * s) * (column - 1) / 2.0,
          (kScreenH - kImageH * s) * (row - 1) / 2.0};
}

bool Near(const std::string& text, double value, double tolerance) {
  char* end = nullptr;
  double read = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && std::fabs(read - value) <= tolerance;
}

bool Matches(const std::string& zoom, const std::string& x, const std::string& y, int fit,
             int align) {
  Fitted f = Expected(fit, align);
  return Near(zoom, f.Zoom, 0.0006) && Near(x, f.X, 0.006) && Near(y, f.Y, 0.006);
}

// The wanted length in frames at 30 frames per second.
std::int64_t ExpectedLength(const validation::IniCase& c) {
  if (c.ExpectedUnit == 1) return c.ExpectedFrames;
  double q = std::round(30.0 * c.ExpectedSeconds);
  if (q < 1) return 1;
  return q > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                      : static_cast<std::int64_t>(q);
}

// What the module wrote to the one pasted image.
struct Written {
  std::vector<std::string> Zoom, X, Y;
  std::vector<std::int64_t> NewLast;
  bool Aligned = false;
};

// Loads the module from its folder and starts it in a host that knows the
// test image; pastes the image after the first scan, and unloads the module
// once the second scan has run.
void AlignOnePastedImage(const std::wstring& modulePath, Written& w) {
  hostsim::PluginModule m;
  validation::ModuleGuard guard(m);
  ASSERT_TRUE(m.Load(modulePath)) << m.Error();
  hostsim::Host host;
  host.SetMedia(L"C:\\fit.png", 0.0, static_cast<std::int32_t>(kImageW),
                static_cast<std::int32_t>(kImageH));
  ASSERT_TRUE(m.Start(host)) << m.Error();
  host.FireEvent(1);
  hostsim::Host::PumpUntilIdle();
  host.AddImage(0, 0, 9, L"C:\\fit.png");
  host.ClearCalls();
  host.FireEvent(1);
  hostsim::Host::PumpUntilIdle();

  w.Zoom = validation::WrittenItem(host, "拡大率");
  w.X = validation::WrittenItem(host, "X");
  w.Y = validation::WrittenItem(host, "Y");
  for (const hostsim::HostCall& call : host.Calls()) {
    if (call.Op == "ReplaceSpan")
      w.NewLast.push_back(std::stoll(call.Args.substr(call.Args.find(',') + 1)));
  }
  w.Aligned = validation::CountOps(host, "RunEdit") == 1;
  // Only what the load says of the file's keys; nothing of the image.
  for (const std::wstring& line : host.WarnLines())
    EXPECT_EQ(line.rfind(L"設定ファイル ", 0), 0u);
  m.UninitializePlugin();
  m.Unload();
}

// In range: Fit 0 writes nothing, Fit 1..4 with Align 0..8 one of 36
// placements; any length is at least one frame. The image is fitted once,
// though the host hands it out again once lengthened.
void ExpectInRange(const Written& w) {
  ASSERT_EQ(w.X.size(), w.Zoom.size());
  ASSERT_EQ(w.Y.size(), w.Zoom.size());
  ASSERT_LE(w.Zoom.size(), 1u) << "one image fitted more than once";
  if (!w.Zoom.empty()) {
    bool known = false;
    for (int fit = 1; fit <= 4; ++fit) {
      for (int align = 0; align <= 8; ++align)
        known = known || Matches(w.Zoom[0], w.X[0], w.Y[0], fit, align);
    }
    EXPECT_TRUE(known) << w.Zoom[0] << " " << w.X[0] << " " << w.Y[0];
  }
  ASSERT_LE(w.NewLast.size(), 1u);
  for (std::int64_t last : w.NewLast)
    EXPECT_GE(last, 0);
}

// A file whose values are predictable: exactly what they say.
void ExpectPredicted(const validation::IniCase& c, const Written& w) {
  EXPECT_EQ(w.Aligned, c.ExpectedAuto);
  if (!c.ExpectedAuto) return;
  if (c.ExpectedFit == 0) {
    EXPECT_TRUE(w.Zoom.empty());
  } else {
    ASSERT_FALSE(w.Zoom.empty());
    EXPECT_TRUE(Matches(w.Zoom[0], w.X[0], w.Y[0], c.ExpectedFit, c.ExpectedAlign))
        << "Fit " << c.ExpectedFit << " Align " << c.ExpectedAlign << ": " << w.Zoom[0] << " "
        << w.X[0] << " " << w.Y[0];
  }
  std::int64_t length = ExpectedLength(c);
  if (!c.ExpectedEnabled || length == 10) {
    EXPECT_TRUE(w.NewLast.empty());
  } else {
    EXPECT_EQ(w.NewLast, std::vector<std::int64_t>{std::min<std::int64_t>(
                             length - 1, std::numeric_limits<std::int32_t>::max())});
  }
}

// Neither file changed; a legacy file was copied once under the new name.
void ExpectFilesAsWritten(const std::string& bytes, bool fromLegacy,
                          const std::wstring& settingsPath, const std::wstring& legacyPath) {
  std::string after;
  if (fromLegacy) {
    ASSERT_TRUE(testsupport::ReadFileBytes(legacyPath, after));
    EXPECT_TRUE(after == bytes) << "the legacy file changed";
    // Copied once under the new name, byte for byte.
    ASSERT_TRUE(testsupport::ReadFileBytes(settingsPath, after));
    EXPECT_TRUE(after == bytes) << "the migrated copy differs";
  } else {
    ASSERT_TRUE(testsupport::ReadFileBytes(settingsPath, after));
    EXPECT_TRUE(after == bytes) << "loading changed the settings file";
    EXPECT_FALSE(testsupport::FileExists(legacyPath));
  }
}

TEST(SettingsThroughTheModule, GeneratedFilesGiveInRangeBehaviour) {
  auto start = std::chrono::steady_clock::now();
  testsupport::InstalledModule installed;
  const std::wstring settingsPath = installed.Folder().File(L"Velmora.ini");
  const std::wstring legacyPath = installed.Folder().File(L"Tessling.ini");
  validation::Rng rng(0x10ad5e77u);
  int clean = 0, legacy = 0, aligned = 0;

  for (int i = 0; i < kFiles && !HasFailure(); ++i) {
    validation::IniCase c = validation::GenerateIni(rng);
    SCOPED_TRACE("file " + std::to_string(i) + " (" + c.Kind + ")");
    DeleteFileW(settingsPath.c_str());
    DeleteFileW(legacyPath.c_str());
    // Some files only exist under the earlier release's name.
    bool fromLegacy = rng.Percent(10);
    legacy += fromLegacy ? 1 : 0;
    ASSERT_TRUE(testsupport::WriteFileBytes(fromLegacy ? legacyPath : settingsPath, c.Bytes));

    Written w;
    ASSERT_NO_FATAL_FAILURE(AlignOnePastedImage(installed.ModulePath(), w));
    aligned += w.Aligned ? 1 : 0;
    ASSERT_NO_FATAL_FAILURE(ExpectInRange(w));
    if (c.Clean) {
      ++clean;
      ASSERT_NO_FATAL_FAILURE(ExpectPredicted(c, w));
    }
    ASSERT_NO_FATAL_FAILURE(ExpectFilesAsWritten(c.Bytes, fromLegacy, settingsPath, legacyPath));
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "settings files through the module: %d (%d predicted, %d as legacy file, %d "
      "aligned) in %.1f s\n",
      kFiles, clean, legacy, aligned, seconds);
}

}  // namespace
