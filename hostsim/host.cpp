// The simulated host's behaviour behind its function tables.
#include "hostsim/host.h"

#include <algorithm>
#include <cstring>

#include "hostsim/files.h"

namespace hostsim {
namespace {

Host* g_Active = nullptr;

std::string IdText(const SimObject* object) {
  return object == nullptr ? std::string("null") : ObjectRef(object->Id);
}

std::uint32_t PlacementToken(const SimObject& object) {
  return static_cast<std::uint32_t>(object.Layer) * 1000003u +
         static_cast<std::uint32_t>(object.First);
}

// Whether a layer's objects, in order of their first frames, also end in
// ascending order, so that a binary search finds the first reaching a frame.
bool EndsAscending(const std::vector<SimObject*>& list) {
  for (std::size_t i = 1; i < list.size(); ++i) {
    if (list[i]->Last < list[i - 1]->Last) return false;
  }
  return true;
}

// One object's share of the scene fingerprint: where it is and which frames
// it covers, the things the lookup tables are built from.
std::uint64_t ObjectMix(const SimObject& o) {
  auto mix = [](std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  std::uint64_t where = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(o.Layer)) << 32) |
                        static_cast<std::uint32_t>(o.First);
  return mix(reinterpret_cast<std::uintptr_t>(&o) ^
             mix(where ^ mix(static_cast<std::uint32_t>(o.Last))));
}

}  // namespace

std::string ObjectRef(ObjectId id) {
  // Appended rather than concatenated: GCC 12 warns (-Wrestrict) on
  // "#" + std::to_string(...) although nothing overlaps.
  std::string text = "#";
  text += std::to_string(id);
  return text;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::optional<std::string> SimObject::Item(const std::wstring& effect,
                                           const std::wstring& item) const {
  auto it = Items.find({effect, item});
  if (it == Items.end()) return std::nullopt;
  return it->second;
}

void SimObject::SetItem(const std::wstring& effect, const std::wstring& item, std::string value) {
  Items[{effect, item}] = std::move(value);
}

void SimObject::ClearItem(const std::wstring& effect, const std::wstring& item) {
  Items.erase({effect, item});
}

bool SimObject::ShowsImage() const {
  auto image = Effects.find(kImageEffect);
  auto draw = Effects.find(kDrawEffect);
  return image != Effects.end() && image->second > 0 && draw != Effects.end() && draw->second > 0;
}

// The static functions the tables point at; each forwards to the active host.
// The per-object timeline calls format their log text only while the log is
// on, so that a timing run with it off measures the host's lookups alone.
struct Thunks {
  static Host& H() { return *g_Active; }

  // HostTable
  static velmora::EditHandle* VELMORA_HOSTCALL CreateEditHandle() {
    H().Record("CreateEditHandle", "");
    H().registered_.EditHandlesCreated++;
    return &H().edit_;
  }
  static void VELMORA_HOSTCALL RegisterResetHandler(velmora::PlainHandler handler) {
    H().Record("RegisterResetHandler", handler ? "handler" : "null");
    H().registered_.Reset = handler;
  }
  static void VELMORA_HOSTCALL RegisterObjectMenu(const wchar_t* label,
                                                  velmora::EditCallback handler) {
    std::wstring text = label ? label : L"";
    H().Record("RegisterObjectMenu", Utf8(text));
    H().registered_.ObjectMenuLabel = text;
    H().registered_.ObjectMenu = handler;
  }
  static void VELMORA_HOSTCALL RegisterConfigMenu(const wchar_t* label,
                                                  velmora::ConfigMenuHandler handler) {
    std::wstring text = label ? label : L"";
    H().Record("RegisterConfigMenu", Utf8(text));
    H().registered_.ConfigMenuLabel = text;
    H().registered_.ConfigMenu = handler;
  }
  static void VELMORA_HOSTCALL RegisterEventHandler(std::int32_t kind, void* reserved,
                                                    velmora::PlainHandler handler) {
    H().Record("RegisterEventHandler", std::to_string(kind) + "," + (reserved ? "nonzero" : "0"));
    if (handler != nullptr) H().registered_.Events.emplace_back(kind, handler);
  }

  // EditHandle
  static std::uint8_t VELMORA_HOSTCALL RunEdit(velmora::EditCallback callback) {
    return RunAndRecord("RunEdit", callback, true);
  }
  static std::uint8_t VELMORA_HOSTCALL RunRead(velmora::EditCallback callback) {
    return RunAndRecord("RunRead", callback, false);
  }
  static std::uint8_t RunAndRecord(const char* op, velmora::EditCallback callback, bool write) {
    Host& h = H();
    const bool recorded = h.RecordCalls;
    h.Record(op, "");
    const std::size_t at = h.calls_.size();
    const std::uint8_t ran = h.Run(callback, write);
    if (ran == 0 && recorded && at > 0 && at <= h.calls_.size()) h.calls_[at - 1].Refused = true;
    return ran;
  }
  static std::uint8_t VELMORA_HOSTCALL QueryTimelineInfo(velmora::TimelineInfo* info,
                                                         std::int32_t size) {
    H().Record("QueryTimelineInfo", std::to_string(size));
    if (H().Refuse.QueryTimelineInfo || info == nullptr) return 0;
    velmora::TimelineInfo filled{};
    H().FillInfo(&filled);
    std::memcpy(info, &filled,
                static_cast<std::size_t>(std::clamp<std::int32_t>(size, 0, sizeof filled)));
    return 1;
  }

  // TimelineAccess
  static ObjectHandle VELMORA_HOSTCALL ObjectAtOrAfter(std::int32_t layer, std::int32_t frame) {
    Host& h = H();
    h.CheckAccess("ObjectAtOrAfter", false);
    auto handle = reinterpret_cast<ObjectHandle>(h.FirstReaching(layer, frame));
    if (h.ObjectAtOrAfterHook) handle = h.ObjectAtOrAfterHook(layer, frame, handle);
    if (h.RecordCalls)
      h.Record("ObjectAtOrAfter", std::to_string(layer) + "," + std::to_string(frame));
    return handle;
  }
  static std::int32_t VELMORA_HOSTCALL EffectCount(ObjectHandle handle, const wchar_t* effect) {
    Host& h = H();
    h.CheckAccess("EffectCount", false);
    SimObject* object = h.Resolve("EffectCount", handle);
    std::wstring name = effect ? effect : L"";
    if (h.RecordCalls) h.Record("EffectCount", IdText(object) + "," + Utf8(name));
    if (object == nullptr) return 0;
    auto it = object->Effects.find(name);
    return it == object->Effects.end() ? 0 : it->second;
  }
  static velmora::ObjectSpan VELMORA_HOSTCALL GetSpan(ObjectHandle handle) {
    Host& h = H();
    h.CheckAccess("GetSpan", false);
    SimObject* object = h.Resolve("GetSpan", handle);
    if (h.RecordCalls) h.Record("GetSpan", IdText(object));
    if (object == nullptr) return velmora::ObjectSpan{0, 0, -1};
    return velmora::ObjectSpan{0, object->First, object->Last};
  }
  static const char* VELMORA_HOSTCALL GetItem(ObjectHandle handle, const wchar_t* effect,
                                              const wchar_t* item) {
    Host& h = H();
    h.CheckAccess("GetItem", false);
    SimObject* object = h.Resolve("GetItem", handle);
    std::wstring e = effect ? effect : L"", i = item ? item : L"";
    if (h.RecordCalls) h.Record("GetItem", IdText(object) + "," + Utf8(e) + "," + Utf8(i));
    if (object == nullptr) return nullptr;
    auto it = object->Items.find({e, i});
    return it == object->Items.end() ? nullptr : it->second.c_str();
  }
  static std::uint8_t VELMORA_HOSTCALL SetItem(ObjectHandle handle, const wchar_t* effect,
                                               const wchar_t* item, const char* text) {
    Host& h = H();
    bool allowed = h.CheckAccess("SetItem", true);
    SimObject* object = h.Resolve("SetItem", handle);
    std::wstring e = effect ? effect : L"", i = item ? item : L"";
    std::string value = text ? text : "";
    if (h.RecordCalls)
      h.Record("SetItem", IdText(object) + "," + Utf8(e) + "," + Utf8(i) + "," + value);
    if (!allowed || object == nullptr || text == nullptr) return 0;
    object->SetItem(e, i, value);
    return 1;
  }
  static ObjectHandle VELMORA_HOSTCALL FocusedObject() {
    Host& h = H();
    h.CheckAccess("FocusedObject", false);
    if (h.RecordCalls) h.Record("FocusedObject", "");
    return reinterpret_cast<ObjectHandle>(h.focus_);
  }
  static ObjectHandle VELMORA_HOSTCALL SelectedObject(std::int32_t index) {
    Host& h = H();
    h.CheckAccess("SelectedObject", false);
    if (h.RecordCalls) h.Record("SelectedObject", std::to_string(index));
    if (index < 0 || static_cast<std::size_t>(index) >= h.selection_.size()) return nullptr;
    return reinterpret_cast<ObjectHandle>(h.selection_[static_cast<std::size_t>(index)]);
  }
  static std::int32_t VELMORA_HOSTCALL SelectedCount() {
    Host& h = H();
    h.CheckAccess("SelectedCount", false);
    if (h.RecordCalls) h.Record("SelectedCount", "");
    if (h.SelectedCountOverride) return *h.SelectedCountOverride;
    return static_cast<std::int32_t>(h.selection_.size());
  }
  static std::uint8_t VELMORA_HOSTCALL ReadMediaInfo(const wchar_t* path, velmora::MediaInfo* info,
                                                     std::int32_t size) {
    Host& h = H();
    h.CheckAccess("ReadMediaInfo", false);
    std::wstring p = path ? path : L"";
    if (h.RecordCalls) h.Record("ReadMediaInfo", Utf8(p) + "," + std::to_string(size));
    if (info == nullptr || size < static_cast<std::int32_t>(sizeof(velmora::MediaInfo))) return 0;
    velmora::MediaInfo found{};
    bool ok = false;
    if (h.MediaReader) ok = h.MediaReader(p, &found);
    if (!ok) {
      auto it = h.media_.find(p);
      if (it != h.media_.end()) {
        found = it->second;
        ok = true;
      }
    }
    if (ok) *info = found;
    return ok ? 1 : 0;
  }
  static std::uint32_t VELMORA_HOSTCALL PlacementOf(ObjectHandle handle) {
    Host& h = H();
    h.CheckAccess("PlacementOf", false);
    SimObject* object = h.Resolve("PlacementOf", handle);
    if (h.RecordCalls) h.Record("PlacementOf", IdText(object));
    return object == nullptr ? 0u : PlacementToken(*object);
  }
  static std::uint8_t VELMORA_HOSTCALL ReplaceSpan(ObjectHandle handle, std::uint32_t placement,
                                                   std::int32_t newLast) {
    Host& h = H();
    bool allowed = h.CheckAccess("ReplaceSpan", true);
    SimObject* object = h.Resolve("ReplaceSpan", handle);
    if (h.RecordCalls) h.Record("ReplaceSpan", IdText(object) + "," + std::to_string(newLast));
    if (!allowed || object == nullptr || h.Refuse.ReplaceSpan) return 0;
    if (placement != PlacementToken(*object) || newLast < object->First) return 0;
    // The host keeps a layer free of overlaps.
    for (SimObject* other : h.Layer(object->Layer)) {
      if (other != object && other->First > object->First && other->First <= newLast) return 0;
    }
    h.indexFingerprint_ -= ObjectMix(*object);
    object->Last = newLast;
    h.indexFingerprint_ += ObjectMix(*object);
    // Starts and membership stay as they were, so only this layer's end
    // order needs a look; a full rebuild per fit made the pass quadratic.
    h.layerOrdered_[object->Layer] = EndsAscending(h.Layer(object->Layer));
    return 1;
  }
  static ObjectId VELMORA_HOSTCALL GetObjectId(ObjectHandle handle) {
    Host& h = H();
    h.CheckAccess("GetObjectId", false);
    SimObject* object = h.Resolve("GetObjectId", handle);
    if (h.RecordCalls) h.Record("GetObjectId", IdText(object));
    return object == nullptr ? 0 : object->Id;
  }

  // HostLogger
  static void VELMORA_HOSTCALL Info(velmora::HostLogger* logger, const wchar_t* text) {
    (void)logger;
    H().logger_.Info.emplace_back(text ? text : L"");
    if (H().OnCall) H().OnCall("Info");
  }
  static void VELMORA_HOSTCALL Warn(velmora::HostLogger* logger, const wchar_t* text) {
    (void)logger;
    H().logger_.Warn.emplace_back(text ? text : L"");
    if (H().OnCall) H().OnCall("Warn");
  }
};

Host::Host(std::uint32_t version) : version_(version) {
  previous_ = g_Active;
  g_Active = this;

  table_.CreateEditHandle = &Thunks::CreateEditHandle;
  table_.RegisterResetHandler = &Thunks::RegisterResetHandler;
  table_.RegisterObjectMenu = &Thunks::RegisterObjectMenu;
  table_.RegisterConfigMenu = &Thunks::RegisterConfigMenu;
  table_.RegisterEventHandler = &Thunks::RegisterEventHandler;

  edit_.RunEdit = &Thunks::RunEdit;
  edit_.RunRead = &Thunks::RunRead;
  edit_.QueryTimelineInfo = &Thunks::QueryTimelineInfo;

  access_.Info = &info_;
  access_.ObjectAtOrAfter = &Thunks::ObjectAtOrAfter;
  access_.EffectCount = &Thunks::EffectCount;
  access_.GetSpan = &Thunks::GetSpan;
  access_.GetItem = &Thunks::GetItem;
  access_.SetItem = &Thunks::SetItem;
  access_.FocusedObject = &Thunks::FocusedObject;
  access_.SelectedObject = &Thunks::SelectedObject;
  access_.SelectedCount = &Thunks::SelectedCount;
  access_.ReadMediaInfo = &Thunks::ReadMediaInfo;
  access_.PlacementOf = &Thunks::PlacementOf;
  access_.ReplaceSpan = &Thunks::ReplaceSpan;
  access_.GetObjectId = &Thunks::GetObjectId;

  logger_.Table.Info = &Thunks::Info;
  logger_.Table.Warn = &Thunks::Warn;

  AddScene(0, VideoFormat{});
}

Host::~Host() {
  if (g_Active == this) g_Active = previous_;
}

Host* Host::Active() { return g_Active; }

Scene& Host::AddScene(std::uint32_t key, VideoFormat format) {
  Scene& scene = scenes_[key];
  scene.Key = key;
  scene.Format = format;
  return scene;
}

void Host::SwitchScene(std::uint32_t key) {
  if (scenes_.find(key) == scenes_.end()) AddScene(key, VideoFormat{});
  current_ = key;
  Invalidate();
}

Scene& Host::CurrentScene() { return scenes_[current_]; }

Scene* Host::FindScene(std::uint32_t key) {
  auto it = scenes_.find(key);
  return it == scenes_.end() ? nullptr : &it->second;
}

SimObject& Host::AddObject(std::int32_t layer, std::int32_t first, std::int32_t last) {
  auto object = std::make_unique<SimObject>();
  object->Id = nextId_++;
  object->Layer = layer;
  object->First = first;
  object->Last = last;
  SimObject& ref = *object;
  CurrentScene().Objects.push_back(std::move(object));
  Invalidate();
  return ref;
}

SimObject& Host::AddImage(std::int32_t layer, std::int32_t first, std::int32_t last,
                          const std::wstring& path) {
  SimObject& object = AddObject(layer, first, last);
  object.Effects[kImageEffect] = 1;
  object.Effects[kDrawEffect] = 1;
  object.SetItem(kImageEffect, kFileItem, Utf8(path));
  object.SetItem(kDrawEffect, kXItem, "0.0");
  object.SetItem(kDrawEffect, kYItem, "0.0");
  object.SetItem(kDrawEffect, kZoomItem, "100.00");
  object.SetItem(kDrawEffect, kAspectItem, "0.000");
  object.Label = FileNameOf(path);
  return object;
}

SimObject* Host::FindObject(ObjectId id) {
  for (auto& [key, scene] : scenes_) {
    for (auto& object : scene.Objects) {
      if (object->Id == id) return object.get();
    }
  }
  return nullptr;
}

bool Host::RemoveObject(ObjectId id) {
  for (auto& [key, scene] : scenes_) {
    auto& list = scene.Objects;
    auto it = std::find_if(list.begin(), list.end(), [&](auto& o) { return o->Id == id; });
    if (it != list.end()) {
      SimObject* gone = it->get();
      std::erase(selection_, gone);
      if (focus_ == gone) focus_ = nullptr;
      list.erase(it);
      Invalidate();
      return true;
    }
  }
  return false;
}

void Host::SetMedia(const std::wstring& path, double duration, std::int32_t width,
                    std::int32_t height) {
  velmora::MediaInfo info{};
  info.Duration = duration;
  info.PixelWidth = width;
  info.PixelHeight = height;
  media_[path] = info;
}

bool Host::FireEvent(std::int32_t kind) {
  bool any = false;
  // Copied: a handler must not see the list change under it.
  auto events = registered_.Events;
  for (auto& [k, handler] : events) {
    if (k == kind) {
      handler();
      any = true;
    }
  }
  return any;
}

bool Host::FireReset() {
  if (registered_.Reset == nullptr) return false;
  registered_.Reset();
  return true;
}

bool Host::RunObjectMenu() {
  if (registered_.ObjectMenu == nullptr) return false;
  Record("ObjectMenu", Utf8(registered_.ObjectMenuLabel));
  return RunObjectMenuWith(registered_.ObjectMenu);
}

bool Host::RunObjectMenuWith(velmora::EditCallback handler) {
  // A right-click command runs whatever the refusal switches say.
  bool saved = Refuse.RunEdit;
  Refuse.RunEdit = false;
  bool ran = Run(handler, true) != 0;
  Refuse.RunEdit = saved;
  return ran;
}

std::optional<std::intptr_t> Host::OpenConfigMenu(HWND parent) {
  if (registered_.ConfigMenu == nullptr) return std::nullopt;
  return registered_.ConfigMenu(parent);
}

void Host::PumpMessages(unsigned ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void Host::PumpUntilIdle() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::vector<std::string> Host::CallTexts() const {
  std::vector<std::string> out;
  out.reserve(calls_.size());
  for (const HostCall& call : calls_)
    out.push_back(call.Text());
  return out;
}

std::vector<std::string> Host::CallOps() const {
  std::vector<std::string> out;
  out.reserve(calls_.size());
  for (const HostCall& call : calls_)
    out.push_back(call.Op);
  return out;
}

void Host::ClearLog() {
  logger_.Info.clear();
  logger_.Warn.clear();
}

void Host::Record(const char* op, std::string args) {
  if (RecordCalls) calls_.push_back(HostCall{op, std::move(args)});
  if (OnCall) OnCall(op);
}

void Host::Violation(std::string what) { violations_.push_back(std::move(what)); }

bool Host::CheckAccess(const char* op, bool write) {
  if (depth_ == 0) {
    Violation(std::string(op) + " outside a host callback");
    return false;
  }
  if (write && !writable_) {
    Violation(std::string(op) + " inside a read-only callback");
    return false;
  }
  return true;
}

SimObject* Host::Resolve(const char* op, ObjectHandle handle) {
  auto* wanted = reinterpret_cast<SimObject*>(handle);
  if (wanted == nullptr) {
    Violation(std::string(op) + " with a null object");
    return nullptr;
  }
  EnsureIndex();
  if (live_.count(wanted) != 0) return wanted;
  Violation(std::string(op) + " with a stale object handle");
  return nullptr;
}

std::uint64_t Host::SceneFingerprint() {
  Scene& scene = CurrentScene();
  std::uint64_t sum = scene.Key * 0x9E3779B97F4A7C15ull + scene.Objects.size();
  for (auto& object : scene.Objects)
    sum += ObjectMix(*object);
  return sum;
}

void Host::EnsureIndex() {
  if (!indexDirty_) return;
  // Scripts and tests may move objects directly between callbacks, so every
  // callback checks; a rebuild is paid only when something really moved.
  std::uint64_t fingerprint = SceneFingerprint();
  if (indexBuilt_ && fingerprint == indexFingerprint_) {
    indexDirty_ = false;
    return;
  }
  indexFingerprint_ = fingerprint;
  indexBuilt_ = true;
  layers_.clear();
  layerOrdered_.clear();
  live_.clear();
  for (auto& object : CurrentScene().Objects) {
    layers_[object->Layer].push_back(object.get());
    live_.insert(object.get());
  }
  for (auto& [layer, list] : layers_) {
    std::stable_sort(list.begin(), list.end(),
                     [](const SimObject* a, const SimObject* b) { return a->First < b->First; });
    layerOrdered_[layer] = EndsAscending(list);
  }
  indexDirty_ = false;
}

const std::vector<SimObject*>& Host::Layer(std::int32_t layer) {
  static const std::vector<SimObject*> kEmpty;
  EnsureIndex();
  auto it = layers_.find(layer);
  return it == layers_.end() ? kEmpty : it->second;
}

SimObject* Host::FirstReaching(std::int32_t layer, std::int32_t frame) {
  const std::vector<SimObject*>& list = Layer(layer);
  if (layerOrdered_[layer]) {
    auto it = std::partition_point(list.begin(), list.end(),
                                   [&](const SimObject* o) { return o->Last < frame; });
    return it == list.end() ? nullptr : *it;
  }
  // Overlapping objects: the first in frame order that reaches the frame.
  for (SimObject* object : list) {
    if (object->Last >= frame) return object;
  }
  return nullptr;
}

std::uint8_t Host::Run(velmora::EditCallback callback, bool write) {
  if (write ? Refuse.RunEdit : Refuse.RunRead) return 0;
  if (write ? Refuse.PretendRunEdit : Refuse.PretendRunRead) return 1;
  if (callback == nullptr) return 0;
  (write ? runEdits_ : runReads_)++;
  Invalidate();
  bool savedWritable = writable_;
  ++depth_;
  writable_ = write || (savedWritable && depth_ > 1);
  FillInfo(&info_);
  if (OnCallbackEnter) OnCallbackEnter();
  callback(&access_);
  --depth_;
  writable_ = savedWritable;
  return 1;
}

void Host::FillInfo(velmora::TimelineInfo* info) {
  Scene& scene = CurrentScene();
  *info = velmora::TimelineInfo{};
  info->Width = scene.Format.Width;
  info->Height = scene.Format.Height;
  info->Rate = scene.Format.Rate;
  info->Scale = scene.Format.Scale;
  std::int32_t last = -1;
  for (auto& object : scene.Objects)
    last = std::max(last, object->Layer);
  info->LastLayer = scene.LastLayer.value_or(last);
  info->SceneKey = scene.Key;
}

}  // namespace hostsim
