// The host application's tables and records, as the plug-in sees them.
//
// The host hands these over as raw memory; only the slots declared here are
// used, and their byte offsets are fixed by the host's binary interface. The
// gaps between them are opaque and padded with reserved pointers. Every offset
// is pinned below with static_assert, so a slip in this file fails the build
// instead of calling the wrong host function at run time.
//
// Host strings: effect and item names are UTF-16; item values are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

// There is one calling convention on x64; the macro marks every host-facing
// function pointer so that a 32-bit port would have one place to change.
#define VELMORA_HOSTCALL __cdecl

namespace velmora {

// Opaque handle of a timeline object; valid only inside the host callback
// that produced it.
struct HostObject;
using ObjectHandle = HostObject*;

// The host's identity of an object: stable across scans, distinct per object.
using ObjectId = std::int64_t;

// Filled by EditHandle::QueryTimelineInfo. Only the named fields are read.
struct TimelineInfo {
  std::int32_t Width;   // screen width in pixels
  std::int32_t Height;  // screen height in pixels
  std::int32_t Rate;    // frames per second is Rate / Scale
  std::int32_t Scale;
  std::uint8_t Reserved16[16];
  std::int32_t LastLayer;  // last layer index, inclusive; negative: no layer
  std::uint8_t Reserved36[36];
  std::uint32_t SceneKey;  // distinct per scene
  std::uint8_t Reserved76[4];
};

// GetSpan's result. Twelve bytes, so on x64 it comes back through a hidden
// result pointer that the compiler passes as the first argument.
struct ObjectSpan {
  std::int32_t Reserved0;   // not read
  std::int32_t FirstFrame;  // inclusive
  std::int32_t LastFrame;   // inclusive
};

// Filled by TimelineAccess::ReadMediaInfo; zeroed by the caller beforehand.
struct MediaInfo {
  std::uint8_t Reserved0[8];
  double Duration;  // above zero when the media has a duration of its own
  std::int32_t PixelWidth;
  std::int32_t PixelHeight;
};

struct TimelineAccess;

using EditCallback = void(VELMORA_HOSTCALL*)(TimelineAccess* access);
using PlainHandler = void(VELMORA_HOSTCALL*)();
using ConfigMenuHandler = std::intptr_t(VELMORA_HOSTCALL*)(HWND parent);

// Handed to the plug-in's callbacks by RunRead / RunEdit and to the
// object-menu handler. Valid only during that callback, and only on the
// thread the host called it on; every handle and text it returns dies with
// the callback.
struct TimelineAccess {
  // The current scene's record; owned by the host.
  const TimelineInfo* Info;
  void* Reserved08;
  // Next object of the layer whose span reaches `frame` or later, or null.
  // Asked from 0 and then from each last frame + 1, it yields a layer's
  // objects in frame order.
  ObjectHandle(VELMORA_HOSTCALL* ObjectAtOrAfter)(std::int32_t layer, std::int32_t frame);
  // Number of effects of that name on the object; 0 or less: none.
  std::int32_t(VELMORA_HOSTCALL* EffectCount)(ObjectHandle object, const wchar_t* effect);
  // The object's frames.
  ObjectSpan(VELMORA_HOSTCALL* GetSpan)(ObjectHandle object);
  void* Reserved28;
  // UTF-8 text of an item, or null; the text lives until the callback ends.
  const char*(VELMORA_HOSTCALL* GetItem)(ObjectHandle object, const wchar_t* effect,
                                         const wchar_t* item);
  // Writes an item's UTF-8 text (write access only). Result not relied on.
  std::uint8_t(VELMORA_HOSTCALL* SetItem)(ObjectHandle object, const wchar_t* effect,
                                          const wchar_t* item, const char* text);
  void* Reserved40[2];
  // The object that has the focus, or null.
  ObjectHandle(VELMORA_HOSTCALL* FocusedObject)();
  void* Reserved58[2];
  // The selected object at a 0-based index, or null.
  ObjectHandle(VELMORA_HOSTCALL* SelectedObject)(std::int32_t index);
  // Number of selected objects; 0 or less: none.
  std::int32_t(VELMORA_HOSTCALL* SelectedCount)();
  void* Reserved78[3];
  // Fills `info` (of `size` bytes) for a media file; non-zero on success.
  std::uint8_t(VELMORA_HOSTCALL* ReadMediaInfo)(const wchar_t* path, MediaInfo* info,
                                                std::int32_t size);
  void* Reserved98[19];
  // Opaque value that ReplaceSpan expects back unchanged.
  std::uint32_t(VELMORA_HOSTCALL* PlacementOf)(ObjectHandle object);
  void* Reserved138[29];
  // Moves the object's last frame (write access only); 0 when refused, for
  // example because the object would overlap the next one.
  std::uint8_t(VELMORA_HOSTCALL* ReplaceSpan)(ObjectHandle object, std::uint32_t placement,
                                              std::int32_t newLastFrame);
  void* Reserved228[12];
  ObjectId(VELMORA_HOSTCALL* GetObjectId)(ObjectHandle object);
};

// Obtained once from HostTable::CreateEditHandle; lives as long as the host.
struct EditHandle {
  // Runs the callback with write access before returning; non-zero when it ran.
  std::uint8_t(VELMORA_HOSTCALL* RunEdit)(EditCallback callback);
  void* Reserved08;
  // Copies the current scene's record into `info` (`size` bytes).
  std::uint8_t(VELMORA_HOSTCALL* QueryTimelineInfo)(TimelineInfo* info, std::int32_t size);
  void* Reserved18[5];
  // Runs the callback with read access before returning; non-zero when it ran.
  std::uint8_t(VELMORA_HOSTCALL* RunRead)(EditCallback callback);
};

// Argument of RegisterPlugin; valid only during that call. Handlers and
// labels registered through it must outlive the registration (the plug-in's
// are static). Reset and event handlers may be called on any thread; menu
// handlers come on the host's user-interface thread.
struct HostTable {
  void* Reserved00[8];
  EditHandle*(VELMORA_HOSTCALL* CreateEditHandle)();
  void(VELMORA_HOSTCALL* RegisterResetHandler)(PlainHandler handler);
  void* Reserved50[2];
  void(VELMORA_HOSTCALL* RegisterObjectMenu)(const wchar_t* label, EditCallback handler);
  void(VELMORA_HOSTCALL* RegisterConfigMenu)(const wchar_t* label, ConfigMenuHandler handler);
  void* Reserved70[14];
  void(VELMORA_HOSTCALL* RegisterEventHandler)(std::int32_t kind, void* reserved,
                                               PlainHandler handler);
};

// Handed over by InitializeLogger; may be null. Lives as long as the host.
struct HostLogger {
  void* Reserved00;
  // A result line for the user; the text is copied before the call returns.
  void(VELMORA_HOSTCALL* Info)(HostLogger* logger, const wchar_t* text);
  // A failure the user should know of.
  void(VELMORA_HOSTCALL* Warn)(HostLogger* logger, const wchar_t* text);
};

// The static table GetCommonPluginTable hands out.
struct CommonPluginTable {
  const wchar_t* Name;
  const wchar_t* Information;
};

static_assert(offsetof(TimelineInfo, Width) == 0);
static_assert(offsetof(TimelineInfo, Height) == 4);
static_assert(offsetof(TimelineInfo, Rate) == 8);
static_assert(offsetof(TimelineInfo, Scale) == 12);
static_assert(offsetof(TimelineInfo, LastLayer) == 32);
static_assert(offsetof(TimelineInfo, SceneKey) == 72);
static_assert(sizeof(TimelineInfo) == 80);

static_assert(offsetof(ObjectSpan, FirstFrame) == 4);
static_assert(offsetof(ObjectSpan, LastFrame) == 8);
static_assert(sizeof(ObjectSpan) == 12);

static_assert(offsetof(MediaInfo, Duration) == 8);
static_assert(offsetof(MediaInfo, PixelWidth) == 16);
static_assert(offsetof(MediaInfo, PixelHeight) == 20);
static_assert(sizeof(MediaInfo) == 24);

static_assert(offsetof(TimelineAccess, Info) == 0x00);
static_assert(offsetof(TimelineAccess, ObjectAtOrAfter) == 0x10);
static_assert(offsetof(TimelineAccess, EffectCount) == 0x18);
static_assert(offsetof(TimelineAccess, GetSpan) == 0x20);
static_assert(offsetof(TimelineAccess, GetItem) == 0x30);
static_assert(offsetof(TimelineAccess, SetItem) == 0x38);
static_assert(offsetof(TimelineAccess, FocusedObject) == 0x50);
static_assert(offsetof(TimelineAccess, SelectedObject) == 0x68);
static_assert(offsetof(TimelineAccess, SelectedCount) == 0x70);
static_assert(offsetof(TimelineAccess, ReadMediaInfo) == 0x90);
static_assert(offsetof(TimelineAccess, PlacementOf) == 0x130);
static_assert(offsetof(TimelineAccess, ReplaceSpan) == 0x220);
static_assert(offsetof(TimelineAccess, GetObjectId) == 0x288);
static_assert(sizeof(TimelineAccess) == 0x290);

static_assert(offsetof(EditHandle, RunEdit) == 0x00);
static_assert(offsetof(EditHandle, QueryTimelineInfo) == 0x10);
static_assert(offsetof(EditHandle, RunRead) == 0x40);
static_assert(sizeof(EditHandle) == 0x48);

static_assert(offsetof(HostTable, CreateEditHandle) == 0x40);
static_assert(offsetof(HostTable, RegisterResetHandler) == 0x48);
static_assert(offsetof(HostTable, RegisterObjectMenu) == 0x60);
static_assert(offsetof(HostTable, RegisterConfigMenu) == 0x68);
static_assert(offsetof(HostTable, RegisterEventHandler) == 0xe0);
static_assert(sizeof(HostTable) == 0xe8);

static_assert(offsetof(HostLogger, Info) == 0x08);
static_assert(offsetof(HostLogger, Warn) == 0x10);

static_assert(sizeof(CommonPluginTable) == 2 * sizeof(void*));

}  // namespace velmora
