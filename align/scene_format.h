// The screen and frame rate an image is fitted to.
#pragma once

#include <cstdint>

#include "plugin/host/host_api.h"

namespace velmora {

// The first 16 bytes of a scene's TimelineInfo.
struct SceneFormat {
  std::int32_t Width;   // screen width in pixels
  std::int32_t Height;  // screen height in pixels
  std::int32_t Rate;    // frames per second is Rate / Scale
  std::int32_t Scale;
};

// A screen to fit images to and a frame rate to count their length in. A
// host that leaves its TimelineInfo unwritten gives zeros: no scene at all.
inline bool DescribesAScene(const TimelineInfo& info) {
  return info.Width > 0 && info.Height > 0 && info.Rate > 0 && info.Scale > 0;
}

inline SceneFormat SceneFormatOf(const TimelineInfo& info) {
  return SceneFormat{info.Width, info.Height, info.Rate, info.Scale};
}

}  // namespace velmora
