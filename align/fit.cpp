// Image fitting: the only code that changes the host's timeline.
#include "align/fit.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "plugin/host/decimal_text.h"
#include "plugin/host/host_log.h"
#include "plugin/host/host_names.h"
#include "plugin/host/timeline.h"

namespace velmora {
namespace {

constexpr std::int32_t kMaxFrame = std::numeric_limits<std::int32_t>::max();

void LengthStep(TimelineAccess* access, ObjectHandle object, const FitJob& job, bool mediaRead,
                const MediaInfo& media) {
  const PluginSettings& settings = job.Settings;
  // Media with a duration of its own (a video or animation) keeps its length.
  if (mediaRead && media.Duration > 0.0) return;

  std::int32_t wanted;
  if (settings.Unit == kUnitFrames) {
    wanted = settings.Frames;
  } else {
    std::optional<std::int32_t> frames =
        FramesFromSeconds(settings.Seconds, job.Format.Rate, job.Format.Scale);
    if (!frames) return;
    wanted = *frames;
  }

  ObjectSpan span = access->GetSpan(object);
  std::int64_t current = static_cast<std::int64_t>(span.LastFrame) - span.FirstFrame + 1;
  if (wanted <= 0 || current == wanted) return;

  std::uint32_t placement = access->PlacementOf(object);
  if (access->ReplaceSpan(object, placement, LastFrameFor(span.FirstFrame, wanted)) == 0) {
    LogWarn(job.BegunIn, kLengthRefusedWarning);
  }
}

void FitStep(TimelineAccess* access, ObjectHandle object, const FitJob& job, bool mediaRead,
             const MediaInfo& media) {
  const SceneFormat& format = job.Format;
  const PluginSettings& settings = job.Settings;
  if (!mediaRead || media.PixelWidth <= 0 || media.PixelHeight <= 0 || format.Width <= 0 ||
      format.Height <= 0) {
    LogWarn(job.BegunIn, kSizeMissingWarning);
    return;
  }
  Placement p = ComputePlacement(format.Width, format.Height, media.PixelWidth, media.PixelHeight,
                                 settings.Fit, settings.Align);
  access->SetItem(object, kDrawEffect, kZoomItem, FixedText(p.Scale * 100.0, 3).c_str());
  access->SetItem(object, kDrawEffect, kXItem, FixedText(p.X, 2).c_str());
  access->SetItem(object, kDrawEffect, kYItem, FixedText(p.Y, 2).c_str());
}

}  // namespace

std::optional<std::int32_t> FramesFromSeconds(double seconds, std::int32_t rate,
                                              std::int32_t scale) {
  if (rate <= 0 || scale <= 0) return std::nullopt;
  double q = (static_cast<double>(rate) * seconds) / static_cast<double>(scale);
  double rounded = std::round(q);
  // Written so that a NaN also lands on the minimum.
  if (!(rounded >= 1.0)) return 1;
  // Converting an out-of-range double to an integer is undefined: saturate first.
  if (rounded >= static_cast<double>(kMaxFrame)) return kMaxFrame;
  return static_cast<std::int32_t>(rounded);
}

std::int32_t LastFrameFor(std::int32_t first, std::int32_t frames) {
  std::int64_t last = static_cast<std::int64_t>(first) + frames - 1;
  return last > kMaxFrame ? kMaxFrame : static_cast<std::int32_t>(last);
}

double FitScale(double screenWidth, double screenHeight, double imageWidth, double imageHeight,
                std::int32_t fit) {
  double sx = screenWidth / imageWidth;
  double sy = screenHeight / imageHeight;
  switch (fit) {
    case kFitInside: return sx < sy ? sx : sy;
    case kFitCover: return sx > sy ? sx : sy;
    case kFitWidth: return sx;
    case kFitHeight: return sy;
    default: return 1.0;
  }
}

Placement ComputePlacement(std::int32_t screenWidth, std::int32_t screenHeight,
                           std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t fit,
                           std::int32_t align) {
  double w = screenWidth, h = screenHeight;
  double iw = imageWidth, ih = imageHeight;
  double s = FitScale(w, h, iw, ih, fit);
  std::int32_t column = align % kAnchorColumns;
  std::int32_t row = align / kAnchorColumns;
  // Left to right on purpose: a zero margin times -1, or a negative margin
  // times 0, gives -0, which the host is sent as "-0.00".
  double x = (w - iw * s) * (column - 1) * 0.5;
  double y = (h - ih * s) * (row - 1) * 0.5;
  return Placement{s, x, y};
}

void FitImage(TimelineAccess* access, ObjectHandle object, const FitJob& job) {
  const std::wstring path = ImageFilePath(access, object);
  MediaInfo media;
  std::memset(&media, 0, sizeof media);
  bool mediaRead = false;
  if (!path.empty()) {
    mediaRead = access->ReadMediaInfo(path.c_str(), &media, sizeof media) != 0;
  }

  if (job.Settings.Enabled) LengthStep(access, object, job, mediaRead, media);
  if (job.Settings.Fit != kFitKeepSize) FitStep(access, object, job, mediaRead, media);
}

}  // namespace velmora
