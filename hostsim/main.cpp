// velmora-host: a host without the host. Loads Velmora.aux2 from a plug-in
// folder through its six exports, as the editing application does, gives it
// the simulated host's tables and a real message loop, and plays a scenario
// script against it: scenes, pasted image files (their sizes read by the
// platform's imaging component), host events, selections, the object menu,
// the settings dialog and the settings file. It prints what happened: each
// command, the plug-in's log lines, timelines and before/after tables, and
// writes pictures of every image whose size or position the plug-in changed:
// a diagram (SVG) and the image's own pixels before and after (PNG).
//
//   velmora-host.exe [--plugins DIR] [--out DIR] [--check] SCRIPT
//
// Exit status: 0 when everything ran and every expectation held, 1 when an
// expectation failed, the plug-in broke a host rule or a command could not be
// carried out, 2 when the command line or the script is wrong (then nothing
// has run).
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/media_wic.h"
#include "hostsim/picture_png.h"
#include "hostsim/plugin_module.h"
#include "hostsim/report.h"
#include "hostsim/script.h"

namespace hostsim {
namespace {

constexpr const wchar_t* kModuleName = L"Velmora.aux2";
constexpr const wchar_t* kSettingsName = L"Velmora.ini";
constexpr const wchar_t* kDialogTitle = L"Velmora の設定";

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::wstring WithSlash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

std::wstring FolderOf(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring FileNameOf(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool MakeFolders(const std::wstring& folder) {
  std::wstring path = WithSlash(folder);
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\' || path[i] == L'/') {
      std::wstring part = path.substr(0, i);
      if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES &&
          !CreateDirectoryW(part.c_str(), nullptr)) {
        return false;
      }
    }
  }
  return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t n;
  bytes.clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.append(buffer, n);
  std::fclose(file);
  return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// Under Wine a window needs an X display; on Windows there always is one.
bool HasDisplay() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  if (!wine) return true;
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

// Closes the settings dialog after a delay, for scripts that run unattended.
struct DialogCloser {
  static inline WPARAM Button = 0;
  static inline UINT_PTR Timer = 0;

  static BOOL CALLBACK Find(HWND window, LPARAM found) {
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (IsWindowVisible(window) && std::wstring(title) == kDialogTitle) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &Find, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;  // not shown yet: try at the next tick
    KillTimer(nullptr, Timer);
    Timer = 0;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED), 0);
  }
};

struct Options {
  std::wstring PluginFolder;
  std::wstring OutFolder;  // empty: no pictures
  std::wstring ScriptPath;
  bool CheckOnly = false;
};

class Runner {
 public:
  explicit Runner(const Options& options) : opt_(options) {
    host_.MediaReader = [this](const std::wstring& path, velmora::MediaInfo* info) {
      return wic_.Read(path, info);
    };
  }

  // Runs every command; returns the number of failures.
  int Run(const std::vector<Command>& commands);

 private:
  struct Failure {};  // a command that cannot be carried out ends the run

  void Execute(const Command& c);
  void PrintNewLogAndCalls(std::size_t infoFrom, std::size_t warnFrom, std::size_t callsFrom);
  void Say(const std::string& text) { Write("    " + text + "\n"); }
  void Fatal(const Command& c, const std::string& why) {
    WriteError("error on line " + std::to_string(c.Line) + ": " + why + "\n");
    ++failures_;
    throw Failure{};
  }

  void Load(const Command& c);
  void Unload();
  SimObject& Object(const std::string& name);
  void CheckFree(const Command& c);
  void Paste(const Command& c);
  void OpenDialog(const Command& c);
  void Table(const Command& c);
  void Timeline();
  void Expect(const Command& c);
  std::wstring SettingsFile() const { return opt_.PluginFolder + kSettingsName; }
  std::string ImageSizeText(const SimObject& object);
  std::optional<ImageSize> ImageSizeOf(const SimObject& object);
  static ObjectState StateOf(const SimObject& object);
  static bool IsImage(const SimObject& object) {
    auto image = object.Effects.find(kImageEffect);
    auto draw = object.Effects.find(kDrawEffect);
    return image != object.Effects.end() && image->second > 0 && draw != object.Effects.end() &&
           draw->second > 0;
  }

  Options opt_;
  Host host_;
  PluginModule module_;
  WicMediaReader wic_;
  std::map<std::string, ObjectId> names_;
  std::map<ObjectId, ObjectState> before_;
  std::vector<std::wstring> lastInfo_, lastWarn_;
  HWND mainWindow_ = nullptr;
  bool trace_ = false;
  int tables_ = 0;
  int checks_ = 0;
  int failures_ = 0;
  int pictures_ = 0;
};

int Runner::Run(const std::vector<Command>& commands) {
  if (!wic_.Ready()) {
    Write("note: image sizes cannot be read (" + wic_.Error() + ")\n");
  }
  try {
    for (const Command& c : commands) {
      Write("[" + std::to_string(c.Line) + "] " + c.Source + "\n");
      bool isCheck = c.Kind == Op::Expect || c.Kind == Op::ExpectInfo || c.Kind == Op::ExpectWarn ||
                     c.Kind == Op::ExpectNoWarn;
      std::size_t info = host_.InfoLines().size(), warn = host_.WarnLines().size();
      std::size_t calls = host_.Calls().size();
      Execute(c);
      if (!isCheck) {
        lastInfo_.assign(host_.InfoLines().begin() + static_cast<std::ptrdiff_t>(info),
                         host_.InfoLines().end());
        lastWarn_.assign(host_.WarnLines().begin() + static_cast<std::ptrdiff_t>(warn),
                         host_.WarnLines().end());
      }
      PrintNewLogAndCalls(info, warn, calls);
    }
  } catch (const Failure&) {
    Write("stopped: the rest of the script was not run\n");
  }
  Unload();
  if (!host_.Violations().empty()) {
    Write("the plug-in broke the host's rules:\n");
    for (const std::string& v : host_.Violations())
      Write("    " + v + "\n");
    failures_ += static_cast<int>(host_.Violations().size());
  }
  if (pictures_ > 0) Write("pictures in: " + Utf8(opt_.OutFolder) + "\n");
  if (failures_ > 0) {
    Write("result: FAILED, " + std::to_string(failures_) + " problem(s); " +
          std::to_string(checks_) + " expectation(s) checked\n");
  } else if (checks_ > 0) {
    Write("expectations: " + std::to_string(checks_) + " checked; run passed\n");
  }
  return failures_;
}

void Runner::PrintNewLogAndCalls(std::size_t infoFrom, std::size_t warnFrom,
                                 std::size_t callsFrom) {
  if (trace_) {
    const auto& calls = host_.Calls();
    for (std::size_t i = callsFrom; i < calls.size(); ++i)
      Say("call: " + calls[i].Text());
  }
  // The logger keeps the two streams apart; in the printout info comes
  // before warn within one command.
  for (std::size_t i = infoFrom; i < host_.InfoLines().size(); ++i) {
    Say("info: " + Utf8(host_.InfoLines()[i]));
  }
  for (std::size_t i = warnFrom; i < host_.WarnLines().size(); ++i) {
    Say("warn: " + Utf8(host_.WarnLines()[i]));
  }
}

void Runner::Execute(const Command& c) {
  switch (c.Kind) {
    case Op::Load: Load(c); break;
    case Op::Reload:
      Unload();
      Say("unloaded");
      Load(c);
      break;
    case Op::Unload:
      Unload();
      Say("unloaded");
      break;
    case Op::Format: {
      Scene& scene = host_.CurrentScene();
      scene.Format =
          SceneFormat{c.Format->Width, c.Format->Height, c.Format->Rate, c.Format->Scale};
      break;
    }
    case Op::Scene: {
      auto key = static_cast<std::uint32_t>(c.Number);
      bool known = host_.FindScene(key) != nullptr;
      if (!known) host_.AddScene(key, SceneFormat{});
      if (c.Format) {
        host_.FindScene(key)->Format =
            SceneFormat{c.Format->Width, c.Format->Height, c.Format->Rate, c.Format->Scale};
      }
      host_.SwitchScene(key);
      // The selection belongs to the scene that was left.
      host_.Select({});
      host_.SetFocus(nullptr);
      const SceneFormat& f = host_.CurrentScene().Format;
      Say(std::string(known ? "back in" : "new") + " scene " + std::to_string(key) + ": " +
          std::to_string(f.Width) + "x" + std::to_string(f.Height) + ", " + std::to_string(f.Rate) +
          "/" + std::to_string(f.Scale) + " fps");
      break;
    }
    case Op::Paste: Paste(c); break;
    case Op::Add: {
      CheckFree(c);
      SimObject& object = host_.AddObject(c.Layer, c.Frame, c.Frame + c.Frames - 1);
      object.Label = Wide(c.Name);
      names_[c.Name] = object.Id;
      before_[object.Id] = StateOf(object);
      Say("object #" + std::to_string(object.Id) + " without image, layer " +
          std::to_string(c.Layer) + ", frames " + std::to_string(object.First) + "-" +
          std::to_string(object.Last));
      break;
    }
    case Op::Delete: {
      ObjectId id = Object(c.Name).Id;
      host_.RemoveObject(id);
      before_.erase(id);
      break;
    }
    case Op::Item: Object(c.Name).SetItem(kDrawEffect, DrawItemName(c.Names[0]), c.Text); break;
    case Op::Event:
      if (!host_.FireEvent(static_cast<std::int32_t>(c.Number))) {
        Say("no handler is registered for event " + std::to_string(c.Number));
      }
      Host::PumpUntilIdle();
      break;
    case Op::Reset:
      if (!host_.FireReset()) Say("no reset handler is registered");
      Host::PumpUntilIdle();
      break;
    case Op::Pump: Host::PumpMessages(static_cast<unsigned>(c.Number)); break;
    case Op::Select: {
      std::vector<SimObject*> objects;
      for (const std::string& name : c.Names)
        objects.push_back(&Object(name));
      host_.Select(std::move(objects));
      break;
    }
    case Op::Focus: host_.SetFocus(c.Name.empty() ? nullptr : &Object(c.Name)); break;
    case Op::Menu:
      if (!host_.RunObjectMenu()) Say("no object-menu entry is registered");
      break;
    case Op::Dialog: OpenDialog(c); break;
    case Op::SettingsSet:
      if (!WritePrivateProfileStringW(L"Setting", Wide(c.Name).c_str(), Wide(c.Text).c_str(),
                                      SettingsFile().c_str())) {
        Fatal(c, "cannot write " + Utf8(SettingsFile()));
      }
      Say(Utf8(kSettingsName) + ": " + c.Name + "=" + c.Text +
          (module_.Loaded() ? " (the plug-in reads it at its next load)" : ""));
      break;
    case Op::SettingsShow: {
      std::string bytes;
      if (!ReadWholeFile(SettingsFile(), bytes)) {
        Say(Utf8(kSettingsName) + " does not exist: the plug-in uses its defaults");
        break;
      }
      std::size_t pos = 0;
      while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        std::string line =
            bytes.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Say("| " + line);
        if (end == std::string::npos) break;
        pos = end + 1;
      }
      break;
    }
    case Op::SettingsRemove:
      if (DeleteFileW(SettingsFile().c_str())) {
        Say(Utf8(kSettingsName) + " removed");
      } else {
        Say(Utf8(kSettingsName) + " was not there");
      }
      break;
    case Op::Refuse:
      (c.Name == "read"   ? host_.Refuse.RunRead
       : c.Name == "edit" ? host_.Refuse.RunEdit
                          : host_.Refuse.ReplaceSpan) = c.Flag;
      break;
    case Op::Trace: trace_ = c.Flag; break;
    case Op::Timeline: Timeline(); break;
    case Op::Table: Table(c); break;
    case Op::Echo: Say(c.Text); break;
    case Op::Expect: Expect(c); break;
    case Op::ExpectInfo:
    case Op::ExpectWarn: {
      const auto& lines = c.Kind == Op::ExpectInfo ? lastInfo_ : lastWarn_;
      ++checks_;
      if (std::find(lines.begin(), lines.end(), Wide(c.Text)) != lines.end()) {
        Say("ok");
      } else {
        ++failures_;
        Say(std::string("FAILED: the last command logged no such ") +
            (c.Kind == Op::ExpectInfo ? "info" : "warn") + " line");
      }
      break;
    }
    case Op::ExpectNoWarn:
      ++checks_;
      if (lastWarn_.empty()) {
        Say("ok");
      } else {
        ++failures_;
        Say("FAILED: the last command logged " + std::to_string(lastWarn_.size()) + " warning(s)");
      }
      break;
  }
}

void Runner::Load(const Command& c) {
  std::wstring path = opt_.PluginFolder + kModuleName;
  if (!module_.Load(path)) Fatal(c, "cannot load " + Utf8(path) + ": " + module_.Error());
  if (!module_.Start(host_, c.Flag)) Fatal(c, "the plug-in did not start: " + module_.Error());
  const velmora::CommonPluginTable* table = module_.GetCommonPluginTable();
  Say("loaded " + Utf8(kModuleName) + ": " + Utf8(table->Name ? table->Name : L"") + ", \"" +
      Utf8(table->Information ? table->Information : L"") + "\"" +
      (c.Flag ? "" : ", without a logger"));
  const Host::Registration& r = host_.Registered();
  std::string events;
  for (const auto& [kind, handler] : r.Events) {
    events += (events.empty() ? "" : ", ") + std::to_string(kind);
  }
  Say("registered: events " + (events.empty() ? std::string("none") : events) +
      (r.Reset ? ", reset" : "") + ", object menu \"" + Utf8(r.ObjectMenuLabel) +
      "\", settings menu \"" + Utf8(r.ConfigMenuLabel) + "\"");
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

void Runner::CheckFree(const Command& c) {
  std::int32_t last = c.Frame + c.Frames - 1;
  for (const auto& object : host_.CurrentScene().Objects) {
    if (object->Layer == c.Layer && object->First <= last && c.Frame <= object->Last) {
      Fatal(c, "layer " + std::to_string(c.Layer) + " is taken at frames " +
                   std::to_string(object->First) + "-" + std::to_string(object->Last) + " by " +
                   Utf8(object->Label));
    }
  }
}

void Runner::Paste(const Command& c) {
  CheckFree(c);
  SimObject& object = host_.AddImage(c.Layer, c.Frame, c.Frame + c.Frames - 1, c.Path);
  object.Label = Wide(c.Name);
  names_[c.Name] = object.Id;
  before_[object.Id] = StateOf(object);
  Say("image object #" + std::to_string(object.Id) + " " + Utf8(FileNameOf(c.Path)) + " (" +
      ImageSizeText(object) + "), layer " + std::to_string(c.Layer) + ", frames " +
      std::to_string(object.First) + "-" + std::to_string(object.Last) +
      ", X 0 Y 0 zoom 100 aspect 0");
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
  if (IsImage(object)) {
    s.Zoom = object.Item(kDrawEffect, kZoomItem).value_or("");
    s.X = object.Item(kDrawEffect, L"X").value_or("");
    s.Y = object.Item(kDrawEffect, L"Y").value_or("");
  }
  return s;
}

void Runner::OpenDialog(const Command& c) {
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
  if (c.Dialog != DialogAction::Wait) {
    DialogCloser::Button = c.Dialog == DialogAction::Ok ? IDOK : IDCANCEL;
    DialogCloser::Timer = SetTimer(
        nullptr, 0, static_cast<UINT>(std::max<std::int64_t>(c.Number, 10)), &DialogCloser::Tick);
  } else {
    Say("the settings dialog is open: close it to go on");
  }
  auto result = host_.OpenConfigMenu(mainWindow_);
  if (DialogCloser::Timer != 0) {
    KillTimer(nullptr, DialogCloser::Timer);
    DialogCloser::Timer = 0;
  }
  if (!result) {
    Say("no settings-menu entry is registered");
    return;
  }
  std::string how = *result == IDOK ? " (OK)" : *result == IDCANCEL ? " (Cancel)" : "";
  Say("the settings dialog returned " + std::to_string(*result) + how);
}

void Runner::Timeline() {
  Scene& scene = host_.CurrentScene();
  const SceneFormat& f = scene.Format;
  std::vector<SimObject*> objects;
  std::int32_t lastLayer = -1;
  for (auto& object : scene.Objects) {
    objects.push_back(object.get());
    lastLayer = std::max(lastLayer, object->Layer);
  }
  std::stable_sort(objects.begin(), objects.end(), [](const SimObject* a, const SimObject* b) {
    return a->Layer != b->Layer ? a->Layer < b->Layer : a->First < b->First;
  });
  Say("scene " + std::to_string(scene.Key) + ": " + std::to_string(f.Width) + "x" +
      std::to_string(f.Height) + ", " + std::to_string(f.Rate) + "/" + std::to_string(f.Scale) +
      " fps, " + std::to_string(objects.size()) + " object(s), last layer " +
      std::to_string(scene.LastLayer.value_or(lastLayer)));
  for (SimObject* o : objects) {
    std::string line = "layer " + std::to_string(o->Layer) + "  frames " +
                       std::to_string(o->First) + "-" + std::to_string(o->Last) + "  #" +
                       std::to_string(o->Id) + " " + Utf8(o->Label);
    if (IsImage(*o)) {
      auto file = o->Item(kImageEffect, kFileItem);
      line += "  image " + (file ? Utf8(FileNameOf(Wide(*file))) : std::string("(no file)")) +
              "  X " + o->Item(kDrawEffect, L"X").value_or("-") + "  Y " +
              o->Item(kDrawEffect, L"Y").value_or("-") + "  zoom " +
              o->Item(kDrawEffect, kZoomItem).value_or("-") + "  aspect " +
              o->Item(kDrawEffect, kAspectItem).value_or("-");
    } else {
      line += "  (no image)";
    }
    Say(line);
  }
}

void Runner::Table(const Command& c) {
  ++tables_;
  Scene& scene = host_.CurrentScene();
  std::vector<SimObject*> objects;
  for (auto& object : scene.Objects)
    objects.push_back(object.get());
  std::stable_sort(objects.begin(), objects.end(), [](const SimObject* a, const SimObject* b) {
    return a->Layer != b->Layer ? a->Layer < b->Layer : a->First < b->First;
  });

  std::vector<TableRow> rows;
  std::vector<std::string> written;
  for (SimObject* o : objects) {
    TableRow row;
    row.Name = Utf8(o->Label);
    row.Layer = o->Layer;
    row.IsImage = IsImage(*o);
    row.After = StateOf(*o);
    auto found = before_.find(o->Id);
    row.Before = found == before_.end() ? row.After : found->second;
    std::optional<ImageSize> size;
    if (row.IsImage) size = ImageSizeOf(*o);
    if (size) row.ImagePixels = std::make_pair(size->Width, size->Height);
    rows.push_back(row);

    bool moved = row.Before.Zoom != row.After.Zoom || row.Before.X != row.After.X ||
                 row.Before.Y != row.After.Y;
    if (row.IsImage && size && moved && !opt_.OutFolder.empty()) {
      const std::wstring imagePath = Wide(o->Item(kImageEffect, kFileItem).value_or(""));
      PictureInput in;
      in.Name = row.Name;
      in.File = Utf8(FileNameOf(imagePath));
      in.ScreenWidth = scene.Format.Width;
      in.ScreenHeight = scene.Format.Height;
      in.ImageWidth = size->Width;
      in.ImageHeight = size->Height;
      in.Zoom = row.After.Zoom;
      in.X = row.After.X;
      in.Y = row.After.Y;
      char prefix[16];
      std::snprintf(prefix, sizeof prefix, "%02d-", tables_);
      std::string name = prefix;
      // Names may be Japanese; only what a file name cannot hold is replaced.
      for (char ch : row.Name) {
        bool bad = static_cast<unsigned char>(ch) < 0x20 ||
                   std::string("<>:\"/\\|?* ").find(ch) != std::string::npos;
        name += bad ? '_' : ch;
      }
      if (!WriteWholeFile(opt_.OutFolder + Wide(name + ".svg"), RenderPicture(in))) {
        Fatal(c, "cannot write " + Utf8(opt_.OutFolder) + name + ".svg");
      }
      written.push_back(name + ".svg");
      PictureInput before = in;
      before.Zoom = row.Before.Zoom, before.X = row.Before.X, before.Y = row.Before.Y;
      std::string error;
      bool drawn = WritePlacementPng(wic_.Factory(), imagePath, before, in,
                                     opt_.OutFolder + Wide(name + ".png"), error);
      written.push_back(name + ".png" + (drawn ? "" : " not written: " + error));
      ++pictures_;
    }
    before_[o->Id] = row.After;
  }

  const SceneFormat& f = scene.Format;
  if (!c.Text.empty()) Write("\n  " + c.Text + "\n");
  Write("  scene " + std::to_string(scene.Key) + ", " + std::to_string(f.Width) + "x" +
        std::to_string(f.Height) + " at " + std::to_string(f.Rate) + "/" + std::to_string(f.Scale) +
        " fps; \"a → b\": before → now, one value: unchanged\n\n");
  std::string table = FormatTable(rows, f.Rate, f.Scale);
  std::size_t pos = 0;
  while (pos < table.size()) {
    std::size_t end = table.find('\n', pos);
    Write("  " + table.substr(pos, end - pos) + "\n");
    pos = end + 1;
  }
  Write("\n");
  for (const std::string& name : written)
    Say("picture: " + name);
}

void Runner::Expect(const Command& c) {
  const SimObject& o = Object(c.Name);
  for (const auto& [key, wanted] : c.Checks) {
    ++checks_;
    std::string actual;
    if (key == "first") {
      actual = std::to_string(o.First);
    } else if (key == "frames") {
      actual = std::to_string(o.Length());
    } else {
      actual = o.Item(kDrawEffect, DrawItemName(key)).value_or("(none)");
    }
    if (actual == wanted) {
      Say(key + " " + actual + ": ok");
    } else {
      ++failures_;
      Say("FAILED: " + key + " is " + actual + ", expected " + wanted);
    }
  }
}

constexpr const char* kUsage =
    "usage: velmora-host.exe [--plugins DIR] [--out DIR] [--check] SCRIPT\n"
    "  --plugins DIR  the host's plug-in folder: Velmora.aux2 is loaded from it and\n"
    "                 Velmora.ini lies beside it (default: this program's folder)\n"
    "  --out DIR      where the pictures go (made if missing; default: no pictures)\n"
    "  --check        only check the script\n"
    "  --help         this text and the script's commands\n";

int Main(int argc, wchar_t** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if ((arg == L"--plugins" || arg == L"--out") && i + 1 < argc) {
      (arg == L"--plugins" ? opt.PluginFolder : opt.OutFolder) = argv[++i];
    } else if (arg == L"--check") {
      opt.CheckOnly = true;
    } else if (arg == L"--help" || arg == L"-h") {
      Write(std::string(kUsage) + "\n" + ScriptHelp());
      return 0;
    } else if (!arg.empty() && arg[0] != L'-' && opt.ScriptPath.empty()) {
      opt.ScriptPath = arg;
    } else {
      WriteError("velmora-host: unexpected argument " + Utf8(arg) + "\n" + kUsage);
      return 2;
    }
  }
  if (opt.ScriptPath.empty()) {
    WriteError(std::string("velmora-host: no script given\n") + kUsage);
    return 2;
  }
  opt.ScriptPath = FullPath(L"", opt.ScriptPath);
  opt.PluginFolder =
      WithSlash(opt.PluginFolder.empty() ? ExecutableFolder() : FullPath(L"", opt.PluginFolder));
  if (!opt.OutFolder.empty()) opt.OutFolder = WithSlash(FullPath(L"", opt.OutFolder));

  std::string text;
  if (!ReadWholeFile(opt.ScriptPath, text)) {
    WriteError("velmora-host: cannot read " + Utf8(opt.ScriptPath) + "\n");
    return 2;
  }
  Script script = ParseScript(text, FolderOf(opt.ScriptPath));
  std::string scriptName = Utf8(FileNameOf(opt.ScriptPath));
  if (!script.Errors.empty()) {
    for (const ScriptError& e : script.Errors) {
      WriteError(scriptName + ":" + std::to_string(e.Line) + ": " + e.Message + "\n");
    }
    WriteError("velmora-host: " + std::to_string(script.Errors.size()) +
               " error(s) in the script; nothing was run\n");
    return 2;
  }
  if (opt.CheckOnly) {
    Write(scriptName + ": " + std::to_string(script.Commands.size()) + " commands, no errors\n");
    return 0;
  }
  if (!opt.OutFolder.empty() && !MakeFolders(opt.OutFolder)) {
    WriteError("velmora-host: cannot make the folder " + Utf8(opt.OutFolder) + "\n");
    return 2;
  }

  Write("velmora-host: " + scriptName + ", " + std::to_string(script.Commands.size()) +
        " commands\n");
  Write("plug-in folder: " + Utf8(opt.PluginFolder) + "\n");
  if (!opt.OutFolder.empty()) Write("output folder: " + Utf8(opt.OutFolder) + "\n");
  Runner runner(opt);
  return runner.Run(script.Commands) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace hostsim

int wmain(int argc, wchar_t** argv) {
  // Output is UTF-8 text with plain "\n" line ends, on a console as in a pipe.
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return hostsim::Main(argc, argv);
}
