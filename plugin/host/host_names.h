// The host's own names: the effects and items the plug-in reads and writes
// (UTF-16, passed to the host as they are) and the event kinds it registers
// for. The simulated host in hostsim/ uses these same constants.
#pragma once

#include <cstdint>

namespace velmora {

// Effects. An image object has at least one of each.
inline constexpr const wchar_t* kImageEffect = L"画像ファイル";
inline constexpr const wchar_t* kDrawEffect = L"標準描画";

// Item of the image effect: the image file's path.
inline constexpr const wchar_t* kFileItem = L"ファイル";
// Items of the standard-drawing effect: offset in pixels, zoom in percent,
// aspect ratio.
inline constexpr const wchar_t* kXItem = L"X";
inline constexpr const wchar_t* kYItem = L"Y";
inline constexpr const wchar_t* kZoomItem = L"拡大率";
inline constexpr const wchar_t* kAspectItem = L"縦横比";

// The event kinds after which the timeline may hold newly pasted objects.
inline constexpr std::int32_t kScanEventKinds[] = {1, 3};

}  // namespace velmora
