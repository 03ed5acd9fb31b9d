// A stand-in for the video-editing host: its tables at their binary offsets,
// an in-memory timeline of scenes, layers and objects that a script or a test
// shapes, switches that make it refuse, and a record of every call a plug-in
// makes into it. The same model serves the in-process unit tests, the tests
// that load the built module, and the velmora-host program.
//
// The host's functions carry no context pointer, so one Host is "active" per
// process at a time (the one most recently constructed and still alive). It
// is used from one thread, the one that runs the plug-in's callbacks; only
// the plug-in's reset and event handlers may be fired from other threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "plugin/host/host_api.h"
#include "plugin/host/host_names.h"

namespace hostsim {

using velmora::ObjectHandle;
using velmora::ObjectId;

// The host's names, the same constants the plug-in passes.
using velmora::kAspectItem;
using velmora::kDrawEffect;
using velmora::kFileItem;
using velmora::kImageEffect;
using velmora::kXItem;
using velmora::kYItem;
using velmora::kZoomItem;

// One timeline object. Items absent from the map read as null.
struct SimObject {
  ObjectId Id = 0;
  std::int32_t Layer = 0;
  std::int32_t First = 0;
  std::int32_t Last = 0;
  std::map<std::wstring, std::int32_t> Effects;
  std::map<std::pair<std::wstring, std::wstring>, std::string> Items;  // UTF-8 values
  std::wstring Label;  // what the timeline printout calls it

  std::int32_t Length() const { return Last - First + 1; }
  // Item text, or nullopt when the host would give null.
  std::optional<std::string> Item(const std::wstring& effect, const std::wstring& item) const;
  void SetItem(const std::wstring& effect, const std::wstring& item, std::string value);
  void ClearItem(const std::wstring& effect, const std::wstring& item);
  // Whether the host shows it as an image: it has an image-file and a
  // standard-drawing effect.
  bool ShowsImage() const;
};

// A scene's screen and frame rate as the host keeps them: what its
// TimelineInfo reports in its first 16 bytes.
struct VideoFormat {
  std::int32_t Width = 1920;
  std::int32_t Height = 1080;
  std::int32_t Rate = 30;
  std::int32_t Scale = 1;
};

struct Scene {
  std::uint32_t Key = 0;
  VideoFormat Format;
  // Reported last layer index; by default the highest layer holding an
  // object, or -1 for an empty scene.
  std::optional<std::int32_t> LastLayer;
  std::vector<std::unique_ptr<SimObject>> Objects;
};

// One call the plug-in made into the host, e.g. "ObjectAtOrAfter(0,10)".
// Objects appear as "#id", names and texts in UTF-8.
struct HostCall {
  std::string Op;
  std::string Args;
  // A RunRead or RunEdit the host answered with 0 (refused, or no callback).
  bool Refused = false;
  std::string Text() const { return Op + "(" + Args + ")"; }
};

// Switches that make the host misbehave the way a real one may.
struct Refusals {
  bool RunRead = false;
  bool RunEdit = false;
  bool ReplaceSpan = false;
  bool QueryTimelineInfo = false;  // leaves the caller's buffer as it was
  // Answer 1 without running the callback, as a host that defers or drops it.
  bool PretendRunRead = false;
  bool PretendRunEdit = false;
};

class Host {
 public:
  explicit Host(std::uint32_t version = 2011700);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  static Host* Active();
  std::uint32_t Version() const { return version_; }

  // ---- what the plug-in is handed ----
  const velmora::HostTable* Table() const { return &table_; }
  velmora::HostLogger* Logger() { return &logger_.Table; }

  // ---- the timeline ----
  Scene& AddScene(std::uint32_t key, VideoFormat format);
  void SwitchScene(std::uint32_t key);
  Scene& CurrentScene();
  Scene* FindScene(std::uint32_t key);
  std::uint32_t CurrentSceneKey() const { return current_; }

  // A generic object on the current scene with no effects.
  SimObject& AddObject(std::int32_t layer, std::int32_t first, std::int32_t last);
  // An image object as the host pastes it: one image-file effect with the
  // path, one standard-drawing effect at X 0, Y 0, zoom 100, aspect 0.
  SimObject& AddImage(std::int32_t layer, std::int32_t first, std::int32_t last,
                      const std::wstring& path);
  SimObject* FindObject(ObjectId id);
  bool RemoveObject(ObjectId id);
  // The next object id AddObject will give; ids may also be set by hand.
  ObjectId& NextId() { return nextId_; }

  void SetMedia(const std::wstring& path, double duration, std::int32_t width, std::int32_t height);
  // Consulted before the table of SetMedia, e.g. to decode a real file.
  std::function<bool(const std::wstring& path, velmora::MediaInfo* info)> MediaReader;

  // Selection: entries may be null to model a host that hands out null.
  void Select(std::vector<SimObject*> objects) { selection_ = std::move(objects); }
  void SetFocus(SimObject* object) { focus_ = object; }
  std::optional<std::int32_t> SelectedCountOverride;

  Refusals Refuse;
  // Runs at the start of every RunRead / RunEdit callback, e.g. to let the
  // message loop run where a real host might.
  std::function<void()> OnCallbackEnter;
  // Runs inside every call the plug-in makes into the host, its logger's
  // ("Info", "Warn") included, once the call is recorded: e.g. to pump
  // messages, or shut the plug-in down, where a real host might.
  std::function<void(const std::string& op)> OnCall;
  // Replaces ObjectAtOrAfter's answer; receives the honest answer.
  std::function<ObjectHandle(std::int32_t layer, std::int32_t frame, ObjectHandle honest)>
      ObjectAtOrAfterHook;

  // ---- what the plug-in registered ----
  struct Registration {
    velmora::PlainHandler Reset = nullptr;
    std::vector<std::pair<std::int32_t, velmora::PlainHandler>> Events;
    std::wstring ObjectMenuLabel;
    velmora::EditCallback ObjectMenu = nullptr;
    std::wstring ConfigMenuLabel;
    velmora::ConfigMenuHandler ConfigMenu = nullptr;
    int EditHandlesCreated = 0;
  };
  const Registration& Registered() const { return registered_; }
  // Drops what the plug-in registered, as the host does before it unloads
  // the module: its handlers must not be called once its code is gone.
  void ForgetRegistrations() { registered_ = Registration{}; }

  // ---- host actions ----
  // Calls every handler registered for the kind; false when there is none.
  bool FireEvent(std::int32_t kind);
  bool FireReset();
  // Runs the object-menu entry inside an edit context, as a right-click does.
  bool RunObjectMenu();
  // The same with a handler of the caller's choosing (in-process tests).
  bool RunObjectMenuWith(velmora::EditCallback handler);
  // Runs the config-menu entry; nullopt when none was registered.
  std::optional<std::intptr_t> OpenConfigMenu(HWND parent);
  // Dispatches this thread's messages for `ms` milliseconds.
  static void PumpMessages(unsigned ms);
  // Dispatches until the queue is empty (timers still pending are not waited for).
  static void PumpUntilIdle();

  // ---- what happened ----
  std::vector<HostCall>& Calls() { return calls_; }
  std::vector<std::string> CallTexts() const;
  std::vector<std::string> CallOps() const;
  void ClearCalls() { calls_.clear(); }
  bool RecordCalls = true;
  int RunReadCount() const { return runReads_; }
  int RunEditCount() const { return runEdits_; }
  const std::vector<std::wstring>& InfoLines() const { return logger_.Info; }
  const std::vector<std::wstring>& WarnLines() const { return logger_.Warn; }
  void ClearLog();
  // Breaches of the host's rules by the plug-in: timeline calls outside a
  // callback, writes inside a read-only callback, stale object handles.
  const std::vector<std::string>& Violations() const { return violations_; }
  bool InCallback() const { return depth_ > 0; }

 private:
  struct LoggerImpl {
    velmora::HostLogger Table;
    std::vector<std::wstring> Info;
    std::vector<std::wstring> Warn;
  };

  friend struct Thunks;
  void Record(const char* op, std::string args);
  void Violation(std::string what);
  bool CheckAccess(const char* op, bool write);
  SimObject* Resolve(const char* op, ObjectHandle handle);
  // Objects of a layer of the current scene, in frame order.
  const std::vector<SimObject*>& Layer(std::int32_t layer);
  SimObject* FirstReaching(std::int32_t layer, std::int32_t frame);
  void EnsureIndex();
  std::uint64_t SceneFingerprint();
  void Invalidate() { indexDirty_ = true; }
  std::uint8_t Run(velmora::EditCallback callback, bool write);
  void FillInfo(velmora::TimelineInfo* info);

  std::uint32_t version_;
  velmora::HostTable table_{};
  velmora::EditHandle edit_{};
  velmora::TimelineAccess access_{};
  velmora::TimelineInfo info_{};
  LoggerImpl logger_{};
  std::map<std::uint32_t, Scene> scenes_;
  std::uint32_t current_ = 0;
  ObjectId nextId_ = 1;
  std::map<std::wstring, velmora::MediaInfo> media_;
  std::vector<SimObject*> selection_;
  SimObject* focus_ = nullptr;
  Registration registered_;
  std::vector<HostCall> calls_;
  std::vector<std::string> violations_;
  // Lookup tables over the current scene, rebuilt when it changes and at the
  // start of every callback (scripts may edit objects directly between them).
  std::unordered_map<std::int32_t, std::vector<SimObject*>> layers_;
  std::unordered_map<std::int32_t, bool> layerOrdered_;
  std::unordered_set<const SimObject*> live_;
  bool indexDirty_ = true;
  bool indexBuilt_ = false;
  std::uint64_t indexFingerprint_ = 0;
  int depth_ = 0;
  bool writable_ = false;
  int runReads_ = 0;
  int runEdits_ = 0;
  Host* previous_ = nullptr;
};

// How the call log names an object: "#" and its id.
std::string ObjectRef(ObjectId id);

// UTF-8 <-> UTF-16 helpers for scripts and logs.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace hostsim
