// Fitting one image object: its length, then its zoom and X/Y offset.
#pragma once

#include <cstdint>
#include <optional>

#include "align/scene_format.h"
#include "plugin/host/host_api.h"
#include "plugin/host/lifetime.h"
#include "settings/settings.h"

namespace velmora {

inline constexpr const wchar_t* kLengthRefusedWarning =
    L"長さを変えられませんでした（後ろのオブジェクトと重なるなど）";
inline constexpr const wchar_t* kSizeMissingWarning =
    L"画像の大きさが取れなかったため、大きさと位置はそのままにします";

// Frames for `seconds` at Rate/Scale frames per second: rounded half away
// from zero, at least 1, and at most INT32_MAX (a huge length saturates
// instead of overflowing). Nothing when Rate or Scale is not positive: no
// frame rate gives no length, not the shortest one.
std::optional<std::int32_t> FramesFromSeconds(double seconds, std::int32_t rate,
                                              std::int32_t scale);

// The last frame that gives an object starting at `first` the length
// `frames`, computed without overflow and capped at INT32_MAX.
std::int32_t LastFrameFor(std::int32_t first, std::int32_t frames);

// The scale factor of a size mode (1.0 for an unknown mode).
double FitScale(double screenWidth, double screenHeight, double imageWidth, double imageHeight,
                std::int32_t fit);

struct Placement {
  double Scale;  // 1.0 = 100 %
  double X;      // image centre right of the screen centre, in pixels
  double Y;      // image centre below the screen centre, in pixels
};

// Zoom and offset that push the scaled image toward the anchor `align`
// (3 * row + column). Sizes must be positive.
Placement ComputePlacement(std::int32_t screenWidth, std::int32_t screenHeight,
                           std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t fit,
                           std::int32_t align);

// What a pass or a command fits its images with, its own from when it began.
// The host may shut the plug-in down and start it again inside any of its
// calls, and a new lifetime's state is not this job's: its images are fitted
// as they began, and its warnings go nowhere once its lifetime is over.
struct FitJob {
  SceneFormat Format;
  PluginSettings Settings;
  Lifetime BegunIn;
};

// Applies the job's settings to one image object. Runs only inside a host
// callback with write access.
void FitImage(TimelineAccess* access, ObjectHandle object, const FitJob& job);

}  // namespace velmora
