// Every process-wide variable of the plug-in, each with the thread that uses
// it and how long its value lasts. Nothing else in the plug-in outlives the
// call that made it.
//
// "UI thread" is the host's user-interface thread. It calls the exports and
// the menu handlers, runs the RunRead and RunEdit callbacks, and owns the
// message window, so every scan runs on it too. The host may fire its event
// and reset handlers on any thread; they touch only the atomics below.
//
// The containers are built when the module is loaded and freed when it is
// unloaded; everything else starts at zero or null.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>

#include <windows.h>

#include "align/scene_format.h"
#include "plugin/host/host_api.h"
#include "detect/object_id_set.h"
#include "settings/settings.h"

namespace velmora {

// What the survey keeps for the scan (detect/survey.h).
struct SurveyFindings;

// Per scene (TimelineInfo::SceneKey), the objects already judged. A scene's
// set is flat (about 21 bytes per id): a long session can know hundreds of
// thousands of objects.
using KnownObjectRegistry = std::unordered_map<std::uint32_t, ObjectIdSet>;

// What RunScan hands to the host callbacks it runs, which receive nothing but
// the access table. Lives on RunScan's stack; see state::Scan.
struct ScanContext {
  ScanContext();

  // For the survey (RunRead): layers 0..SurveyLastLayer are surveyed into
  // Survey, which is null outside RunRead, against the scene's registry
  // SurveyKnown, null on the scene's first scan. Only a scan changes the
  // registry and no scan starts while one runs (state::Scanning); only a new
  // lifetime empties it, so the survey reads it only while StillCurrent().
  std::int32_t SurveyLastLayer = 0;
  const ObjectIdSet* SurveyKnown = nullptr;
  SurveyFindings* Survey = nullptr;
  // Set by the survey when it could not finish (out of memory); its findings
  // are then not to be used.
  bool SurveyFailed = false;
  // For the automatic pass (RunEdit): the ids to fit, null until the scan has
  // candidates, and the scene's format to fit them with, the scan's own.
  const std::set<ObjectId>* PendingObjects = nullptr;
  SceneFormat Format{};
  // Set by each callback as it begins: a host may answer RunRead or RunEdit
  // with success and never have run it.
  bool SurveyRan = false;
  bool PassRan = false;
  // The plug-in's lifetime the scan began in (state::Lifetime), taken when
  // the context is made. The host may pump messages inside its calls and shut
  // the plug-in down there, or from another thread: what the scan finds after
  // that belongs to no one, and a new lifetime may have emptied the registry
  // it would write to.
  std::uint32_t Lifetime;
  bool StillCurrent() const;
};

namespace state {

// ---- the shell: what the host handed over through the exports; UI thread ----

// DllMain; for the module's whole life. Resources, the window class and the
// settings file are found through it, never through the host's executable.
inline HINSTANCE ModuleInstance = nullptr;
// InitializeLogger; may stay null, and then no line is written.
inline HostLogger* Logger = nullptr;
// InitializePlugin; shown in the settings dialog.
inline std::uint32_t HostVersion = 0;
// The host's EditHandle, from RegisterPlugin; null until then, and a scan
// does nothing without it.
inline EditHandle* Edit = nullptr;

// ---- settings; UI thread ----

// Read whole by LoadSettings (InitializePlugin), replaced whole by a
// confirmed settings dialog, read directly everywhere else. Its file is
// found from ModuleInstance (SettingsFilePath), whichever start-up calls the
// host made.
inline PluginSettings Settings = kDefaultSettings;

// ---- change detection ----

// Only grows, until a scan that finds ResetPending set empties it. UI thread.
inline KnownObjectRegistry KnownObjects;
// Set by RequestReset on any thread; cleared, by atomic exchange, by the
// next scan.
inline std::atomic<std::uint8_t> ResetPending{0};
// The message-only window scans run on: from RegisterPlugin to
// UninitializePlugin, null otherwise. Read on any thread.
inline std::atomic<HWND> MessageWindow{nullptr};
// 1 while a ScanRequest is queued: set by RequestScan on any thread, cleared
// by the window procedure before it scans, and when a window is created.
inline std::atomic<std::uint8_t> ScanPosted{0};
// The message window's class is registered; UI thread.
inline bool MessageClassRegistered = false;
// True while RunScan runs (UI thread). A host that dispatches our messages
// from inside RunRead or RunEdit would otherwise start a scan over the state
// the running one is still using.
inline bool Scanning = false;

// ---- automatic alignment; UI thread ----

// The candidates of the last scan that had any, replaced whole just before
// its pass and kept afterwards.
inline std::set<ObjectId> PendingObjects;
// The format of that scan's scene, written with PendingObjects.
inline SceneFormat PendingSceneFormat{};

// ---- the plug-in's lifetime: from start-up to UninitializePlugin ----

// Raised by every UninitializePlugin, on whatever thread the host calls it.
// Work of ours that a host callback or a modal loop held up while it came
// (a scan, the settings dialog) compares it with the value it began under
// and leaves alone what belongs to a lifetime that is over.
inline std::atomic<std::uint32_t> Lifetime{0};
// The Lifetime the variables of this file hold values of; UI thread. A host
// that loads the module again may be handed the same image, kept mapped,
// whose variables were never built again: the next start-up export then
// puts them back to their load values first (plugin/lifetime.h).
inline std::uint32_t StateLifetime = 0;
// How much code of ours, on any thread, is under way and may run a message
// loop or call the host back (a scan, the settings dialog, the object-menu
// command). While it is above zero, a shut-down pins the module, so that the
// host's FreeLibrary cannot unmap code that is still to return into.
inline std::atomic<int> CodeUnderWay{0};

// ---- hand-off to host callbacks; UI thread ----

// The running scan's context while RunScan runs, null otherwise. Set and
// cleared only by ScanScope.
inline ScanContext* Scan = nullptr;

// Puts every variable above back to its value at load, except the module
// instance, the four that belong to the message window (MessageWindow,
// ScanPosted, MessageClassRegistered, Scanning), which creating and
// destroying the window put back, and the lifetime's counters. Run when a
// new lifetime begins in a module that stayed mapped, and by tests, which
// run many plug-in lifetimes in one process.
inline void ResetToLoadValues() {
  Logger = nullptr;
  HostVersion = 0;
  Edit = nullptr;
  Settings = kDefaultSettings;
  KnownObjects.clear();
  ResetPending.store(0);
  PendingObjects.clear();
  PendingSceneFormat = SceneFormat{};
  Scan = nullptr;
  StateLifetime = Lifetime.load();
}

}  // namespace state

inline ScanContext::ScanContext() : Lifetime(state::Lifetime.load()) {}
inline bool ScanContext::StillCurrent() const { return state::Lifetime.load() == Lifetime; }

// Makes `context` the running scan's for as long as the guard lives, on
// every way out of the scope.
class ScanScope {
 public:
  explicit ScanScope(ScanContext& context) { state::Scan = &context; }
  ~ScanScope() { state::Scan = nullptr; }
  ScanScope(const ScanScope&) = delete;
  ScanScope& operator=(const ScanScope&) = delete;
};

}  // namespace velmora
