// Nothing the plug-in runs from the host's or the system's code lets an
// exception escape into it: out of memory inside a callback ends that piece
// of work quietly.
#include <new>

#include "tests/unit/detect_fixture.h"

namespace {

class ExceptionBoundary : public detecttest::DetectTest {
 protected:
  // Makes the host's walk throw as an allocation failure would.
  void ThrowFromWalk() {
    host_.ObjectAtOrAfterHook = [](std::int32_t, std::int32_t,
                                   velmora::ObjectHandle) -> velmora::ObjectHandle {
      throw std::bad_alloc();
    };
  }
};

TEST_F(ExceptionBoundary, FailedSurveyMakesNoBaseline) {
  Paste(0, 0, L"a.png");
  ThrowFromWalk();
  EXPECT_TRUE(velmora::RunScan());  // not retried
  EXPECT_TRUE(velmora::state::KnownObjects.empty());
  host_.ObjectAtOrAfterHook = nullptr;
  EXPECT_TRUE(velmora::RunScan());
  EXPECT_EQ(velmora::state::KnownObjects.size(), 1u);
}

TEST_F(ExceptionBoundary, FailedPassEndsQuietly) {
  EXPECT_TRUE(velmora::RunScan());  // baseline
  hostsim::SimObject& image = Paste(0, 0, L"a.png");
  // The survey walks fine; the pass's walk (in RunEdit) throws.
  host_.OnCallbackEnter = [&] {
    if (host_.RunEditCount() > 0) ThrowFromWalk();
  };
  EXPECT_TRUE(velmora::RunScan());
  EXPECT_TRUE(Untouched(image));
}

TEST_F(ExceptionBoundary, FailedCommandEndsQuietly) {
  hostsim::SimObject& image = Paste(0, 0, L"a.png");
  host_.MediaReader = [](const std::wstring&, velmora::MediaInfo*) -> bool {
    throw std::bad_alloc();
  };
  host_.Select({&image});
  EXPECT_TRUE(host_.RunObjectMenuWith(&velmora::AlignSelectedCommand));
  EXPECT_TRUE(Untouched(image));
  EXPECT_FALSE(host_.InCallback());
}

TEST_F(ExceptionBoundary, WindowProcedureSurvivesAFailedScan) {
  ThrowFromWalk();
  velmora::RequestScan();
  hostsim::Host::PumpMessages(50);
  EXPECT_EQ(Scans(), 1);
  // No retry for a scan that ran out of memory, and later events still scan.
  hostsim::Host::PumpMessages(400);
  EXPECT_EQ(Scans(), 1);
  host_.ObjectAtOrAfterHook = nullptr;
  velmora::RequestScan();
  hostsim::Host::PumpMessages(50);
  EXPECT_EQ(Scans(), 2);
}

}  // namespace
