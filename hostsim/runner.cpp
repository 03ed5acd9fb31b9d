// The run of a script against the loaded module: the command loop, and what
// several commands share (loading, naming objects, the timeline, the table
// and its pictures, the settings dialog).
#include "hostsim/runner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>

#include "hostsim/files.h"
#include "hostsim/picture_png.h"

namespace hostsim {
namespace {

constexpr const wchar_t* kModuleName = L"Velmora.aux2";

// Under Wine a window needs an X display; on Windows there always is one.
bool HasDisplay() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  if (!wine) return true;
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

// The scene's objects by layer, then by first frame.
std::vector<SimObject*> SortedObjects(Scene& scene) {
  std::vector<SimObject*> objects;
  for (auto& object : scene.Objects)
    objects.push_back(object.get());
  std::stable_sort(objects.begin(), objects.end(), [](const SimObject* a, const SimObject* b) {
    return a->Layer != b->Layer ? a->Layer < b->Layer : a->First < b->First;
  });
  return objects;
}

// "03-name": the table's number, then the object's name. Names may be
// Japanese; only what a file name cannot hold is replaced.
std::string PictureStem(int table, const std::string& objectName) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%02d-", table);
  std::string stem = prefix;
  for (char ch : objectName) {
    bool bad = static_cast<unsigned char>(ch) < 0x20 ||
               std::string("<>:\"/\\|?* ").find(ch) != std::string::npos;
    stem += bad ? '_' : ch;
  }
  return stem;
}

// "length, zoom": what differs between two states of an object, by value.
std::string Differences(const ObjectState& a, const ObjectState& b) {
  std::string what;
  auto add = [&](bool differs, const char* item) {
    if (differs) what += (what.empty() ? "" : ", ") + std::string(item);
  };
  add(a.First != b.First || a.Last != b.Last, "length");
  add(!SameValue(a.Zoom, b.Zoom), "zoom");
  add(!SameValue(a.X, b.X), "X");
  add(!SameValue(a.Y, b.Y), "Y");
  return what;
}

std::string Times(int n) {
  return n == 1 ? "once" : n == 2 ? "twice" : std::to_string(n) + " times";
}

std::string Counted(std::size_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// What the host's record of calls shows of the plug-in's callbacks.
struct Callbacks {
  bool Any = false;
  int Reads = 0;
  int RefusedReads = 0;
  int RefusedEdits = 0;
  std::set<std::string> ObjectsRead;  // "#id"
};

Callbacks CountCallbacks(const std::vector<HostCall>& calls, std::size_t from) {
  Callbacks c;
  bool inRead = false;
  for (std::size_t i = from; i < calls.size(); ++i) {
    const HostCall& call = calls[i];
    const bool read = call.Op == "RunRead", edit = call.Op == "RunEdit";
    if (read || edit || call.Op == "ObjectMenu") {
      c.Any = true;
      inRead = read && !call.Refused;
      if (read) ++(call.Refused ? c.RefusedReads : c.Reads);
      if (edit && call.Refused) ++c.RefusedEdits;
    } else if (inRead && call.Op == "GetObjectId") {
      c.ObjectsRead.insert(call.Args);
    }
  }
  return c;
}

}  // namespace

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string VideoFormatText(const VideoFormat& f, const char* between) {
  return std::to_string(f.Width) + "x" + std::to_string(f.Height) + between +
         std::to_string(f.Rate) + "/" + std::to_string(f.Scale) + " fps";
}

Runner::Runner(const Options& options) : opt_(options) {
  host_.MediaReader = [this](const std::wstring& path, velmora::MediaInfo* info) {
    return wic_.Read(path, info);
  };
}

int Runner::Run(const std::vector<Command>& commands) {
  if (!wic_.Ready()) {
    Write("note: image sizes cannot be read (" + wic_.Error() + ")\n");
  }
  try {
    for (const Command& command : commands)
      RunCommand(command);
  } catch (const Failure&) {
    Write("stopped: the rest of the script was not run\n");
  }
  Unload();
  PrintSummary();
  return failures_;
}

void Runner::RunCommand(const Command& command) {
  Write("[" + std::to_string(command.Line) + "] " + command.Source + "\n");
  line_ = command.Line;
  std::size_t info = host_.InfoLines().size(), warn = host_.WarnLines().size();
  std::size_t calls = host_.Calls().size();
  const std::map<ObjectId, ObjectState> before = SceneStates();
  {
    // Also when the command fails and throws.
    struct Watched {
      Deadline& Limit;
      Watched(Deadline& limit, int line) : Limit(limit) {
        Limit.Start(line, kCommandLimitMs);
        window_watch::Start();
      }
      ~Watched() {
        window_watch::Stop();
        Limit.Stop();
      }
    } watched(deadline_, command.Line);
    command.Row->Run(*this, command.Args);
  }
  if (!command.Row->IsCheck) {
    lastInfo_.assign(host_.InfoLines().begin() + static_cast<std::ptrdiff_t>(info),
                     host_.InfoLines().end());
    lastWarn_.assign(host_.WarnLines().begin() + static_cast<std::ptrdiff_t>(warn),
                     host_.WarnLines().end());
  }
  PrintNewLogAndCalls(info, warn, calls);
  const std::string work = PluginWork(calls, before);
  if (!work.empty()) Say("plug-in: " + work);
  for (const std::string& note : window_watch::TakeNotes())
    Say(note);
}

void Runner::PrintNewLogAndCalls(std::size_t infoFrom, std::size_t warnFrom,
                                 std::size_t callsFrom) {
  if (trace_) {
    const auto& calls = host_.Calls();
    for (std::size_t i = callsFrom; i < calls.size(); ++i)
      Say("call: " + calls[i].Text());
  }
  // The logger keeps the two streams apart; in the printout info comes
  // before warn within one command. The plug-in names its settings files by
  // their whole paths: its folder is shortened, so that a line reads the
  // same wherever the folder is.
  const auto shortened = [&](std::wstring line) {
    for (std::size_t at; (at = line.find(opt_.PluginFolder)) != std::wstring::npos;)
      line.replace(at, opt_.PluginFolder.size(), L"<plug-in folder>\\");
    return Utf8(line);
  };
  for (std::size_t i = infoFrom; i < host_.InfoLines().size(); ++i) {
    Say("info: " + shortened(host_.InfoLines()[i]));
  }
  for (std::size_t i = warnFrom; i < host_.WarnLines().size(); ++i) {
    Say("warn: " + shortened(host_.WarnLines()[i]));
  }
}

std::map<ObjectId, ObjectState> Runner::SceneStates() {
  std::map<ObjectId, ObjectState> states;
  for (const auto& object : host_.CurrentScene().Objects)
    states[object->Id] = StateOf(*object);
  return states;
}

std::string Runner::PluginWork(std::size_t callsFrom,
                               const std::map<ObjectId, ObjectState>& before) {
  const Callbacks c = CountCallbacks(host_.Calls(), callsFrom);
  if (!c.Any) return std::string();
  const std::string scene = "scene " + std::to_string(host_.CurrentSceneKey());
  std::vector<std::string> parts;
  bool firstLook = false;
  if (c.Reads > 0) {
    firstLook = looked_.insert(host_.CurrentSceneKey()).second;
    const std::string objects = Counted(c.ObjectsRead.size(), "object");
    parts.push_back(firstLook ? "first look at " + scene + ": read " + objects
                              : "read " + objects + " of " + scene);
  }
  if (c.RefusedReads > 0) parts.push_back("the host refused its read " + Times(c.RefusedReads));
  if (c.RefusedEdits > 0) parts.push_back("the host refused its edit " + Times(c.RefusedEdits));
  std::string changed;
  std::size_t count = 0;
  for (const SimObject* o : SortedObjects(host_.CurrentScene())) {
    auto was = before.find(o->Id);
    const std::string what = was == before.end() ? "" : Differences(was->second, StateOf(*o));
    if (what.empty()) continue;
    changed += (count++ == 0 ? "" : ", ") + Utf8(o->Label) + " (" + what + ")";
  }
  if (count > 0) {
    parts.push_back("changed " + std::to_string(count) + ": " + changed);
  } else {
    parts.push_back(firstLook ? "changed nothing (a first look only learns what is there)"
                              : "changed nothing");
  }
  std::string text;
  for (const std::string& part : parts)
    text += (text.empty() ? "" : "; ") + part;
  return text;
}

void Runner::PrintSummary() {
  if (!host_.Violations().empty()) {
    Write("the plug-in broke the host's rules:\n");
    for (const std::string& v : host_.Violations())
      Say(v);
    failures_ += static_cast<int>(host_.Violations().size());
  }
  if (pictures_ > 0) Write("pictures in: " + Utf8(opt_.OutFolder) + "\n");
  if (failures_ > 0) {
    Write("result: FAILED, " + std::to_string(failures_) + " problem(s); " +
          std::to_string(checks_) + " expectation(s) checked\n");
  } else if (checks_ > 0) {
    Write("expectations: " + std::to_string(checks_) + " checked; run passed\n");
  }
}

void Runner::Say(const std::string& text) { Write("    " + text + "\n"); }

void Runner::Fatal(const std::string& why) {
  WriteError("error on line " + std::to_string(line_) + ": " + why + "\n");
  ++failures_;
  throw Failure{};
}

void Runner::CountCheck(bool held) {
  ++checks_;
  if (!held) ++failures_;
}

void Runner::Load(bool withLogger) {
  std::wstring path = opt_.PluginFolder + kModuleName;
  const bool hadSettings = IsFile(SettingsFile()), hadLegacy = IsFile(LegacySettingsFile());
  if (!module_.Load(path)) Fatal("cannot load " + Utf8(path) + ": " + module_.Error());
  if (!module_.Start(host_, withLogger)) Fatal("the plug-in did not start: " + module_.Error());
  looked_.clear();
  const velmora::CommonPluginTable* table = module_.GetCommonPluginTable();
  Say("loaded " + Utf8(kModuleName) + ": " + Utf8(table->Name ? table->Name : L"") + ", \"" +
      Utf8(table->Information ? table->Information : L"") + "\"" +
      (withLogger ? "" : ", without a logger"));
  const Host::Registration& r = host_.Registered();
  std::string events;
  for (const auto& [kind, handler] : r.Events) {
    events += (events.empty() ? "" : ", ") + std::to_string(kind);
  }
  Say("registered: events " + (events.empty() ? std::string("none") : events) +
      (r.Reset ? ", reset" : "") + ", object menu \"" + Utf8(r.ObjectMenuLabel) +
      "\", settings menu \"" + Utf8(r.ConfigMenuLabel) + "\"");
  SaySettingsInEffect(hadSettings, hadLegacy);
}

// Which file the load read is seen from the files before and after it.
void Runner::SaySettingsInEffect(bool hadSettings, bool hadLegacy) {
  const std::string name = Utf8(kSettingsName), legacy = Utf8(kLegacySettingsName);
  std::string source;
  if (hadSettings) {
    source = "settings from " + name;
  } else if (IsFile(SettingsFile())) {
    source = hadLegacy ? "settings from " + legacy + ", copied to " + name + " at this load"
                       : "settings from " + name + ", made at this load";
  } else if (GetFileAttributesW(SettingsFile().c_str()) != INVALID_FILE_ATTRIBUTES) {
    source = "settings: the defaults (" + name + " is a folder)";
  } else if (hadLegacy) {
    source = "settings: the defaults (" + legacy + " was not copied to " + name + ")";
  } else {
    source = "settings: the defaults (no " + name + ", no " + legacy + ")";
  }
  const SettingsText settings = SettingsInEffect(SettingsFile());
  Say(source + ": " + settings.Meaning);
  Say("  " + settings.Keys);
  if (!settings.NotAsWritten.empty()) Say("  not as written: " + settings.NotAsWritten);
}

void Runner::Unload() {
  if (!module_.Loaded()) return;
  module_.UninitializePlugin();
  host_.ForgetRegistrations();
  module_.Unload();
}

SimObject& Runner::Object(const std::string& name) {
  SimObject* object = host_.FindObject(names_.at(name));
  if (object == nullptr) {
    WriteError("internal: object " + name + " is gone\n");
    std::exit(1);
  }
  return *object;
}

void Runner::CheckFree(const TimelineSlot& at) {
  std::int32_t last = at.Frame + at.Frames - 1;
  for (const auto& object : host_.CurrentScene().Objects) {
    if (object->Layer == at.Layer && object->First <= last && at.Frame <= object->Last) {
      Fatal("layer " + std::to_string(at.Layer) + " is taken at frames " +
            SpanText(object->First, object->Last) + " by " + Utf8(object->Label));
    }
  }
}

void Runner::NameObject(SimObject& object, const std::string& name) {
  object.Label = Wide(name);
  names_[name] = object.Id;
  before_[object.Id] = StateOf(object);
}

void Runner::DeleteObject(const std::string& name) {
  ObjectId id = Object(name).Id;
  host_.RemoveObject(id);
  before_.erase(id);
}

std::optional<ImageSize> Runner::ImageSizeOf(const SimObject& object) {
  auto file = object.Item(kImageEffect, kFileItem);
  ImageSize size;
  if (!file || !wic_.ReadSize(Wide(*file), size)) return std::nullopt;
  return size;
}

std::string Runner::ImageSizeText(const SimObject& object) {
  auto size = ImageSizeOf(object);
  if (!size) return "not readable as an image";
  return std::to_string(size->Width) + "x" + std::to_string(size->Height) + " px";
}

ObjectState Runner::StateOf(const SimObject& object) {
  ObjectState s;
  s.First = object.First;
  s.Last = object.Last;
  if (object.ShowsImage()) {
    s.Zoom = object.Item(kDrawEffect, kZoomItem).value_or("");
    s.X = object.Item(kDrawEffect, kXItem).value_or("");
    s.Y = object.Item(kDrawEffect, kYItem).value_or("");
  }
  return s;
}

std::string Runner::WriteDialogPicture(HWND dialog) {
  const std::string name = "dialog-line" + std::to_string(line_) + ".png";
  if (opt_.OutFolder.empty()) return "picture: " + name + " not written: no --out folder";
  std::string error;
  if (!WriteWindowPng(wic_.Factory(), dialog, opt_.OutFolder + Wide(name), error)) {
    return "picture: " + name + " not written: " + error;
  }
  ++pictures_;
  return "picture: " + name + " (the dialog as it showed)";
}

void Runner::OpenDialog(DialogAction action, std::int64_t closeAfterMs, bool picture) {
  if (!HasDisplay()) {
    Say("skipped: no display to show the settings dialog on (run under xvfb-run or set DISPLAY)");
    return;
  }
  if (mainWindow_ == nullptr) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VelmoraHostMainWindow";
    RegisterClassW(&wc);
    mainWindow_ =
        CreateWindowExW(0, wc.lpszClassName, L"velmora-host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 640, 400, nullptr, nullptr, wc.hInstance, nullptr);
  }
  if (action == DialogAction::Wait) Say("the settings dialog is open: close it to go on");
  AllowTime(action == DialogAction::Wait ? kPersonLimitMs : static_cast<DWORD>(closeAfterMs));
  window_watch::DialogShown onShown;
  if (picture) onShown = [this](HWND dialog) { return WriteDialogPicture(dialog); };
  window_watch::ExpectDialog(action, static_cast<DWORD>(closeAfterMs), std::move(onShown));
  auto result = host_.OpenConfigMenu(mainWindow_);
  for (const std::string& note : window_watch::TakeNotes())
    Say(note);
  if (!result) {
    Say("no settings-menu entry is registered");
    return;
  }
  std::string how = *result == IDOK ? " (OK)" : *result == IDCANCEL ? " (Cancel)" : "";
  Say("the settings dialog returned " + std::to_string(*result) + how);
}

void Runner::PrintTimeline() {
  Scene& scene = host_.CurrentScene();
  std::vector<SimObject*> objects = SortedObjects(scene);
  std::int32_t lastLayer = -1;
  for (const SimObject* o : objects)
    lastLayer = std::max(lastLayer, o->Layer);
  Say("scene " + std::to_string(scene.Key) + ": " + VideoFormatText(scene.Format, ", ") + ", " +
      std::to_string(objects.size()) + " object(s), last layer " +
      std::to_string(scene.LastLayer.value_or(lastLayer)));
  for (SimObject* o : objects) {
    std::string line = "layer " + std::to_string(o->Layer) + "  frames " +
                       SpanText(o->First, o->Last) + "  " + ObjectRef(o->Id) + " " + Utf8(o->Label);
    if (o->ShowsImage()) {
      auto file = o->Item(kImageEffect, kFileItem);
      line += "  image " + (file ? Utf8(FileNameOf(Wide(*file))) : std::string("(no file)")) +
              "  X " + o->Item(kDrawEffect, kXItem).value_or("-") + "  Y " +
              o->Item(kDrawEffect, kYItem).value_or("-") + "  zoom " +
              o->Item(kDrawEffect, kZoomItem).value_or("-") + "  aspect " +
              o->Item(kDrawEffect, kAspectItem).value_or("-");
    } else {
      line += "  (no image)";
    }
    Say(line);
  }
}

TableRow Runner::RowOf(const SimObject& object) {
  TableRow row;
  row.Name = Utf8(object.Label);
  row.Layer = object.Layer;
  row.IsImage = object.ShowsImage();
  row.After = StateOf(object);
  auto found = before_.find(object.Id);
  row.Before = found == before_.end() ? row.After : found->second;
  std::optional<ImageSize> size;
  if (row.IsImage) size = ImageSizeOf(object);
  if (size) row.ImagePixels = std::make_pair(size->Width, size->Height);
  return row;
}

void Runner::WritePictures(const SimObject& object, const TableRow& row,
                           std::vector<std::string>& names) {
  const VideoFormat& screen = host_.CurrentScene().Format;
  const std::wstring imagePath = Wide(object.Item(kImageEffect, kFileItem).value_or(""));
  PictureInput in;
  in.Name = row.Name;
  in.File = Utf8(FileNameOf(imagePath));
  in.ScreenWidth = screen.Width;
  in.ScreenHeight = screen.Height;
  in.ImageWidth = row.ImagePixels->first;
  in.ImageHeight = row.ImagePixels->second;
  in.Zoom = row.After.Zoom;
  in.X = row.After.X;
  in.Y = row.After.Y;
  in.Aspect = object.Item(kDrawEffect, kAspectItem).value_or("");
  const std::string stem = PictureStem(tables_, row.Name);
  if (!WriteWholeFile(opt_.OutFolder + Wide(stem + ".svg"), RenderPicture(in))) {
    Fatal("cannot write " + Utf8(opt_.OutFolder) + stem + ".svg");
  }
  names.push_back(stem + ".svg");
  PictureInput before = in;
  before.Zoom = row.Before.Zoom;
  before.X = row.Before.X;
  before.Y = row.Before.Y;
  std::string error;
  const bool drawn = WritePlacementPng(wic_.Factory(), imagePath, before, in,
                                       opt_.OutFolder + Wide(stem + ".png"), error);
  names.push_back(stem + ".png" + (drawn ? "" : " not written: " + error));
  ++pictures_;
}

void Runner::PrintTable(const std::string& title) {
  ++tables_;
  std::vector<TableRow> rows;
  std::vector<std::string> pictures;
  for (const SimObject* o : SortedObjects(host_.CurrentScene())) {
    TableRow row = RowOf(*o);
    bool moved = !SameValue(row.Before.Zoom, row.After.Zoom) ||
                 !SameValue(row.Before.X, row.After.X) || !SameValue(row.Before.Y, row.After.Y);
    if (row.ImagePixels && moved && !opt_.OutFolder.empty()) {
      WritePictures(*o, row, pictures);
    }
    before_[o->Id] = row.After;
    rows.push_back(std::move(row));
  }

  const Scene& scene = host_.CurrentScene();
  if (!title.empty()) Write("\n  " + title + "\n");
  Write("  scene " + std::to_string(scene.Key) + ", " + VideoFormatText(scene.Format, " at ") +
        "; \"a → b\": before → now, one value: unchanged\n\n");
  Write(FormatTable(rows, scene.Format.Rate, scene.Format.Scale, "  ") + "\n");
  for (const std::string& name : pictures)
    Say("picture: " + name);
}

}  // namespace hostsim
