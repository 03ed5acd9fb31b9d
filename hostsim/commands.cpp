// The commands of velmora-host's script language. Each command has a struct
// of its arguments, a parse function that reads them from a line (and makes
// the checks that span lines), a run function, and a row in the table at the
// end, from which the --help text is made too.
//
// A new command is its arguments' struct, ParseX, RunX and a row.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hostsim/files.h"
#include "hostsim/runner.h"
#include "hostsim/script.h"
#include "hostsim/settings_view.h"

namespace hostsim {
namespace {

// The parse function of a command that takes no arguments.
std::any NoArguments(LineReader& line) {
  line.NoMore(1);
  return {};
}

// ---- load, reload, unload

struct LoadArgs {
  bool WithLogger = true;
};

LoadArgs ReadLoadArgs(const LineReader& line) {
  LoadArgs a;
  if (line.Count() > 1) {
    const std::string& word = line.Word(1, "no-logger");
    if (word != "no-logger") Fail("expected no-logger or nothing, not " + Quote(word));
    a.WithLogger = false;
  }
  line.NoMore(2);
  return a;
}

std::any ParseLoad(LineReader& line) {
  LoadArgs a = ReadLoadArgs(line);
  if (line.Loaded()) Fail("the plug-in is already loaded (use reload)");
  line.SetLoaded(true);
  return a;
}

void RunLoad(Runner& r, const std::any& args) {
  r.Load(std::any_cast<const LoadArgs&>(args).WithLogger);
}

std::any ParseReload(LineReader& line) {
  LoadArgs a = ReadLoadArgs(line);
  line.NeedLoaded("reload");
  return a;
}

void RunReload(Runner& r, const std::any& args) {
  r.Unload();
  r.Say("unloaded");
  r.Load(std::any_cast<const LoadArgs&>(args).WithLogger);
}

std::any ParseUnload(LineReader& line) {
  line.NoMore(1);
  line.NeedLoaded("unload");
  line.SetLoaded(false);
  return {};
}

void RunUnload(Runner& r, const std::any&) {
  r.Unload();
  r.Say("unloaded");
}

// ---- format, scene

struct FormatArgs {
  VideoFormat Format;
};

std::any ParseFormat(LineReader& line) {
  // A line with neither word reports the rate as missing.
  const std::string& rate = line.Word(2, "the frame rate");
  FormatArgs a{ParseSizeAndRate(line.Word(1, "the screen size"), rate)};
  line.NoMore(3);
  return a;
}

void RunFormat(Runner& r, const std::any& args) {
  r.SimHost().CurrentScene().Format = std::any_cast<const FormatArgs&>(args).Format;
}

struct SceneArgs {
  std::uint32_t Key = 0;
  std::optional<VideoFormat> Format;  // none: as it is, or the default
};

std::any ParseScene(LineReader& line) {
  SceneArgs a;
  a.Key = static_cast<std::uint32_t>(
      ParseInteger(line.Word(1, "the scene key"), 0, 4294967295LL, "the scene key"));
  if (line.Count() > 2) {
    const std::string& rate = line.Word(3, "the frame rate");
    a.Format = ParseSizeAndRate(line.Word(2, "the screen size"), rate);
  }
  line.NoMore(a.Format ? 4 : 2);
  line.SetScene(a.Key);
  return a;
}

void RunScene(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const SceneArgs&>(args);
  Host& host = r.SimHost();
  bool known = host.FindScene(a.Key) != nullptr;
  if (!known) host.AddScene(a.Key, VideoFormat{});
  if (a.Format) host.FindScene(a.Key)->Format = *a.Format;
  host.SwitchScene(a.Key);
  // The selection belongs to the scene that was left.
  host.Select({});
  host.SetFocus(nullptr);
  r.Say(std::string(known ? "back in" : "new") + " scene " + std::to_string(a.Key) + ": " +
        VideoFormatText(host.CurrentScene().Format, ", "));
}

// ---- paste, add, delete, item

struct PasteArgs {
  std::wstring Path;  // absolute
  std::string Name;
  TimelineSlot At;
};

std::string StemOf(const std::wstring& path) {
  std::wstring name = FileNameOf(path);
  std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return Utf8(name);
}

std::any ParsePaste(LineReader& line) {
  PasteArgs a;
  const std::string& file = line.Word(1, "the image file");
  a.At = line.ReadSlot(2, &a.Name);
  a.Path = line.FullPathOf(file);
  DWORD attributes = GetFileAttributesW(a.Path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Fail("no such file: " + Quote(file) + " (looked for " + Utf8(a.Path) + ")");
  }
  if (a.Name.empty()) {
    a.Name = StemOf(a.Path);
    if (!IsName(a.Name)) {
      Fail("the file's name " + Quote(a.Name) +
           " cannot name an object: add as NAME (letters, digits, _ - or .)");
    }
  }
  line.AddObject(a.Name, a.At);
  return a;
}

void RunPaste(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const PasteArgs&>(args);
  r.CheckFree(a.At);
  SimObject& object =
      r.SimHost().AddImage(a.At.Layer, a.At.Frame, a.At.Frame + a.At.Frames - 1, a.Path);
  r.NameObject(object, a.Name);
  r.Say("image object " + ObjectRef(object.Id) + " " + Utf8(FileNameOf(a.Path)) + " (" +
        r.ImageSizeText(object) + "), layer " + std::to_string(a.At.Layer) + ", frames " +
        SpanText(object.First, object.Last) + ", X 0 Y 0 zoom 100 aspect 0");
}

struct AddArgs {
  std::string Name;
  TimelineSlot At;
};

std::any ParseAdd(LineReader& line) {
  AddArgs a;
  a.Name = line.Word(1, "the object's name");
  a.At = line.ReadSlot(2, nullptr);
  line.AddObject(a.Name, a.At);
  return a;
}

void RunAdd(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const AddArgs&>(args);
  r.CheckFree(a.At);
  SimObject& object = r.SimHost().AddObject(a.At.Layer, a.At.Frame, a.At.Frame + a.At.Frames - 1);
  r.NameObject(object, a.Name);
  r.Say("object " + ObjectRef(object.Id) + " without image, layer " + std::to_string(a.At.Layer) +
        ", frames " + SpanText(object.First, object.Last));
}

struct DeleteArgs {
  std::string Object;
};

std::any ParseDelete(LineReader& line) {
  DeleteArgs a{line.Word(1, "the object's name")};
  line.NoMore(2);
  line.DeleteObject(a.Object);
  return a;
}

void RunDelete(Runner& r, const std::any& args) {
  r.DeleteObject(std::any_cast<const DeleteArgs&>(args).Object);
}

struct ItemArgs {
  std::string Object;
  std::wstring Item;  // the host's name of the standard-drawing item
  std::string Value;
};

std::any ParseItem(LineReader& line) {
  ItemArgs a;
  a.Object = line.Word(1, "the object's name");
  const std::string& item = line.Word(2, "the item (X, Y, zoom or aspect)");
  a.Item = DrawItemName(item);
  if (a.Item.empty()) Fail("unknown item " + Quote(item) + " (expected X, Y, zoom or aspect)");
  a.Value = line.Word(3, "the item's value");
  line.NoMore(4);
  line.NeedObject(a.Object, false);
  return a;
}

void RunItem(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const ItemArgs&>(args);
  r.Object(a.Object).SetItem(kDrawEffect, a.Item, a.Value);
}

// ---- event, reset, pump

struct EventArgs {
  std::int32_t Kind = 0;
};

std::any ParseEvent(LineReader& line) {
  EventArgs a{static_cast<std::int32_t>(
      ParseInteger(line.Word(1, "the event kind"), INT32_MIN, INT32_MAX, "the event kind"))};
  line.NoMore(2);
  line.PluginMayAct();
  return a;
}

void RunEvent(Runner& r, const std::any& args) {
  std::int32_t kind = std::any_cast<const EventArgs&>(args).Kind;
  if (!r.SimHost().FireEvent(kind)) {
    r.Say("no handler is registered for event " + std::to_string(kind));
  }
  Host::PumpUntilIdle();
}

std::any ParseReset(LineReader& line) {
  line.NoMore(1);
  line.PluginMayAct();
  return {};
}

void RunReset(Runner& r, const std::any&) {
  if (r.SimHost().FireReset()) {
    r.ForgetLooks();
  } else {
    r.Say("no reset handler is registered");
  }
  Host::PumpUntilIdle();
}

struct PumpArgs {
  unsigned Milliseconds = 0;
};

std::any ParsePump(LineReader& line) {
  PumpArgs a{static_cast<unsigned>(
      ParseInteger(line.Word(1, "the time in milliseconds"), 0, 60000, "the time"))};
  line.NoMore(2);
  line.PluginMayAct();
  return a;
}

void RunPump(Runner& r, const std::any& args) {
  const unsigned ms = std::any_cast<const PumpArgs&>(args).Milliseconds;
  r.AllowTime(ms);
  Host::PumpMessages(ms);
}

// ---- select, focus, menu, dialog

struct SelectArgs {
  std::vector<std::string> Objects;  // empty: select none
};

std::any ParseSelect(LineReader& line) {
  SelectArgs a;
  if (line.Word(1, "the objects to select (or none)") == "none") {
    line.NoMore(2);
    return a;
  }
  for (std::size_t i = 1; i < line.Count(); ++i) {
    const std::string& name = line.Word(i, "the object");
    line.NeedObject(name, true);
    a.Objects.push_back(name);
  }
  return a;
}

void RunSelect(Runner& r, const std::any& args) {
  std::vector<SimObject*> objects;
  for (const std::string& name : std::any_cast<const SelectArgs&>(args).Objects)
    objects.push_back(&r.Object(name));
  r.SimHost().Select(std::move(objects));
}

struct FocusArgs {
  std::string Object;  // empty: focus none
};

std::any ParseFocus(LineReader& line) {
  FocusArgs a{line.Word(1, "the object to focus (or none)")};
  line.NoMore(2);
  if (a.Object == "none") {
    a.Object.clear();
  } else {
    line.NeedObject(a.Object, true);
  }
  return a;
}

void RunFocus(Runner& r, const std::any& args) {
  const std::string& name = std::any_cast<const FocusArgs&>(args).Object;
  r.SimHost().SetFocus(name.empty() ? nullptr : &r.Object(name));
}

std::any ParseMenu(LineReader& line) {
  line.NoMore(1);
  line.NeedLoaded("menu");
  line.PluginMayAct();
  return {};
}

void RunMenu(Runner& r, const std::any&) {
  if (!r.SimHost().RunObjectMenu()) r.Say("no object-menu entry is registered");
}

struct DialogArgs {
  DialogAction Action = DialogAction::Wait;
  std::int64_t CloseAfterMs = 0;
  bool Picture = false;
};

// "ok|cancel after MS" from word 1.
void ReadDialogPress(LineReader& line, DialogArgs& a) {
  const std::string& action = line.Word(1, "ok or cancel");
  if (action == "ok") {
    a.Action = DialogAction::Ok;
  } else if (action == "cancel") {
    a.Action = DialogAction::Cancel;
  } else {
    Fail("expected ok, cancel or picture after dialog, not " + Quote(action));
  }
  const std::string& after = line.Word(2, "after");
  if (after != "after") Fail("expected after, not " + Quote(after));
  a.CloseAfterMs = ParseInteger(line.Word(3, "the delay in milliseconds"), 0, 60000, "the delay");
}

std::any ParseDialog(LineReader& line) {
  DialogArgs a;
  std::size_t next = 1;
  if (line.Count() > next && line.Word(next, "") != "picture") {
    ReadDialogPress(line, a);
    next = 4;
  }
  if (line.Count() > next) {
    const std::string& word = line.Word(next, "picture");
    if (word != "picture") Fail("expected picture or the end of the line, not " + Quote(word));
    a.Picture = true;
    ++next;
  }
  line.NoMore(next);
  line.NeedLoaded("dialog");
  if (a.Action == DialogAction::Wait && line.Unattended()) {
    Fail(
        "nobody sees this display (--unattended), so nobody can close the dialog: say "
        "dialog ok after MS or dialog cancel after MS");
  }
  line.PluginMayAct();
  return a;
}

void RunDialog(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const DialogArgs&>(args);
  r.OpenDialog(a.Action, a.CloseAfterMs, a.Picture);
}

// ---- settings set, legacy, show, block, remove

struct SettingsSetArgs {
  std::string Key;
  std::string Value;
};

std::any ParseSettingsSet(LineReader& line) {
  static const std::set<std::string> kKeys = {"Auto",   "Enabled", "Unit", "Seconds",
                                              "Frames", "Fit",     "Align"};
  SettingsSetArgs a;
  a.Key = line.Word(2, "the key");
  if (kKeys.count(a.Key) == 0) {
    Fail("unknown key " + Quote(a.Key) +
         " (the keys are Auto, Enabled, Unit, Seconds, Frames, Fit, Align)");
  }
  if (line.Count() < 4) Fail("the value is missing");
  a.Value = line.Rest(3, true, "the value");
  return a;
}

void WriteSetting(Runner& r, const std::wstring& file, const SettingsSetArgs& a) {
  if (!WritePrivateProfileStringW(L"Setting", Wide(a.Key).c_str(), Wide(a.Value).c_str(),
                                  file.c_str())) {
    r.Fatal("cannot write " + Utf8(file));
  }
}

void RunSettingsSet(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const SettingsSetArgs&>(args);
  WriteSetting(r, r.SettingsFile(), a);
  r.Say(Utf8(kSettingsName) + ": " + a.Key + "=" + a.Value +
        (r.ModuleLoaded() ? " (the plug-in reads it at its next load)" : ""));
}

void RunSettingsLegacy(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const SettingsSetArgs&>(args);
  WriteSetting(r, r.LegacySettingsFile(), a);
  r.Say(Utf8(kLegacySettingsName) + ": " + a.Key + "=" + a.Value + " (a load copies it to " +
        Utf8(kSettingsName) + " while that is missing)");
}

std::any ParseSettingsWord(LineReader& line) {
  line.NoMore(2);
  return {};
}

// The file's lines, each after "| ".
void SayLines(Runner& r, const std::string& bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    std::string line = "| ";
    line.append(bytes, pos, end == std::string::npos ? std::string::npos : end - pos);
    if (line.back() == '\r') line.pop_back();
    r.Say(line);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
}

// The file's lines as the profile functions read them: a file that starts
// with a UTF-16 byte-order mark is UTF-16 text, any other is taken byte for
// byte.
void SayFileLines(Runner& r, const std::string& bytes) {
  const bool little = bytes.compare(0, 2, "\xFF\xFE") == 0;
  if (!little && bytes.compare(0, 2, "\xFE\xFF") != 0) {
    SayLines(r, bytes);
    return;
  }
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<wchar_t>(little ? first | second << 8 : first << 8 | second));
  }
  r.Say(std::string("(UTF-16 text, ") + (little ? "little" : "big") + "-endian)");
  SayLines(r, Utf8(text));
}

// Velmora.ini, or what a load will do without it.
void RunSettingsShow(Runner& r, const std::any&) {
  const std::string name = Utf8(kSettingsName), legacy = Utf8(kLegacySettingsName);
  std::string bytes;
  if (IsFile(r.SettingsFile())) {
    if (!ReadWholeFile(r.SettingsFile(), bytes)) r.Fatal("cannot read " + Utf8(r.SettingsFile()));
    SayFileLines(r, bytes);
  } else if (GetFileAttributesW(r.SettingsFile().c_str()) != INVALID_FILE_ATTRIBUTES) {
    r.Say(name + " is a folder: a load uses the defaults, and saving fails");
  } else if (IsFile(r.LegacySettingsFile()) && ReadWholeFile(r.LegacySettingsFile(), bytes)) {
    r.Say(name + " does not exist: a load copies " + legacy + " to " + name + " and reads it:");
    SayFileLines(r, bytes);
  } else {
    r.Say(name + " does not exist, nor " + legacy + ": a load uses the defaults");
  }
}

void RunSettingsBlock(Runner& r, const std::any&) {
  DeleteFileW(r.SettingsFile().c_str());
  if (!CreateDirectoryW(r.SettingsFile().c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    r.Fatal("cannot make the folder " + Utf8(r.SettingsFile()));
  }
  r.Say(Utf8(kSettingsName) + " is now a folder: the settings cannot be saved (settings remove " +
        "takes it away)");
}

void RunSettingsRemove(Runner& r, const std::any&) {
  if (DeleteFileW(r.SettingsFile().c_str())) {
    r.Say(Utf8(kSettingsName) + " removed");
  } else if (RemoveDirectoryW(r.SettingsFile().c_str())) {
    r.Say("the folder " + Utf8(kSettingsName) + " removed");
  } else {
    r.Say(Utf8(kSettingsName) + " was not there");
  }
}

// ---- refuse, trace

struct RefuseArgs {
  bool Refusals::*Call = nullptr;  // the host's switch for it
  bool On = true;
};

std::any ParseRefuse(LineReader& line) {
  RefuseArgs a;
  const std::string& call = line.Word(1, "read, edit or span");
  if (call == "read") {
    a.Call = &Refusals::RunRead;
  } else if (call == "edit") {
    a.Call = &Refusals::RunEdit;
  } else if (call == "span") {
    a.Call = &Refusals::ReplaceSpan;
  } else {
    Fail("expected read, edit or span, not " + Quote(call));
  }
  a.On = line.OnOff(2);
  line.NoMore(3);
  return a;
}

void RunRefuse(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const RefuseArgs&>(args);
  r.SimHost().Refuse.*a.Call = a.On;
}

struct TraceArgs {
  bool On = true;
};

std::any ParseTrace(LineReader& line) {
  TraceArgs a{line.OnOff(1)};
  line.NoMore(2);
  return a;
}

void RunTrace(Runner& r, const std::any& args) {
  r.SetTrace(std::any_cast<const TraceArgs&>(args).On);
}

// ---- timeline, table, echo

void RunTimeline(Runner& r, const std::any&) { r.PrintTimeline(); }

struct TableArgs {
  std::string Title;  // may be empty
};

std::any ParseTable(LineReader& line) { return TableArgs{line.Rest(1, false, "")}; }

void RunTable(Runner& r, const std::any& args) {
  r.PrintTable(std::any_cast<const TableArgs&>(args).Title);
}

struct EchoArgs {
  std::string Text;
};

std::any ParseEcho(LineReader& line) { return EchoArgs{line.Rest(1, false, "")}; }

void RunEcho(Runner& r, const std::any& args) { r.Say(std::any_cast<const EchoArgs&>(args).Text); }

// ---- expect, expect-info, expect-warn, expect-no-warn

struct ExpectArgs {
  std::string Object;
  // Key ("first", "frames", "zoom", "x", "y") and wanted value.
  std::vector<std::pair<std::string, std::string>> Checks;
};

std::any ParseExpect(LineReader& line) {
  ExpectArgs a;
  a.Object = line.Word(1, "the object's name");
  line.NeedObject(a.Object, false);
  if (line.Count() < 4) Fail("expected at least one of first, frames, zoom, x, y and its value");
  for (std::size_t i = 2; i < line.Count(); i += 2) {
    const std::string& key = line.Word(i, "the check");
    const std::string& value = line.Word(i + 1, ("the value after " + key).c_str());
    if (key == "first" || key == "frames") {
      ParseInteger(value, key == "first" ? 0 : 1, INT32_MAX, key.c_str());
    } else if (key != "zoom" && key != "x" && key != "y") {
      Fail("unknown check " + Quote(key) + " (expected first, frames, zoom, x or y)");
    }
    a.Checks.emplace_back(key, value);
  }
  return a;
}

std::string ActualValue(const SimObject& o, const std::string& key) {
  if (key == "first") return std::to_string(o.First);
  if (key == "frames") return std::to_string(o.Length());
  return o.Item(kDrawEffect, DrawItemName(key)).value_or("(none)");
}

std::string CheckReport(const std::string& key, const std::string& actual,
                        const std::string& wanted) {
  if (actual == wanted) return key + " " + actual + ": ok";
  return "FAILED: " + key + " is " + actual + ", expected " + wanted;
}

void RunExpect(Runner& r, const std::any& args) {
  const auto& a = std::any_cast<const ExpectArgs&>(args);
  const SimObject& o = r.Object(a.Object);
  for (const auto& [key, wanted] : a.Checks) {
    std::string actual = ActualValue(o, key);
    r.CountCheck(actual == wanted);
    r.Say(CheckReport(key, actual, wanted));
  }
}

struct ExpectLogArgs {
  std::string Line;
};

std::any ParseExpectLog(LineReader& line) {
  return ExpectLogArgs{line.Rest(1, true, "the expected log line")};
}

void ExpectLogLine(Runner& r, const std::vector<std::wstring>& lines, const std::string& wanted,
                   const char* stream) {
  bool found = std::find(lines.begin(), lines.end(), Wide(wanted)) != lines.end();
  r.CountCheck(found);
  r.Say(found ? std::string("ok")
              : std::string("FAILED: the last command logged no such ") + stream + " line");
}

void RunExpectInfo(Runner& r, const std::any& args) {
  ExpectLogLine(r, r.LastInfo(), std::any_cast<const ExpectLogArgs&>(args).Line, "info");
}

void RunExpectWarn(Runner& r, const std::any& args) {
  ExpectLogLine(r, r.LastWarn(), std::any_cast<const ExpectLogArgs&>(args).Line, "warn");
}

void RunExpectNoWarn(Runner& r, const std::any&) {
  std::size_t warnings = r.LastWarn().size();
  r.CountCheck(warnings == 0);
  r.Say(warnings == 0
            ? std::string("ok")
            : "FAILED: the last command logged " + std::to_string(warnings) + " warning(s)");
}

constexpr bool kCheck = true;

// The --help text lists the commands in this order.
constexpr CommandRow kCommands[] = {
    {"load", "load [no-logger]",
     "load the plug-in from the plug-in folder, start it, and say\n"
     "which settings it took from which file",
     ParseLoad, RunLoad},
    {"reload", "reload [no-logger]", "UninitializePlugin, unload, load and start again",
     ParseReload, RunReload},
    {"unload", "unload", "UninitializePlugin and unload", ParseUnload, RunUnload},
    {"format", "format WxH RATE/SCALE",
     "the current scene's screen and frame rate, e.g. 1920x1080 30000/1001", ParseFormat,
     RunFormat},
    {"scene", "scene KEY [WxH RATE/SCALE]",
     "switch to scene KEY, made on first use (default 1920x1080 30/1)", ParseScene, RunScene},
    {"paste", "paste FILE layer L frame F [frames N] [as NAME]",
     "an image object as the host pastes it: X 0, Y 0, zoom 100,\n"
     "aspect 0, N frames long (default 120); NAME defaults to the\n"
     "file name without its extension",
     ParsePaste, RunPaste},
    {"add", "add NAME layer L frame F [frames N]", "an object that shows no image (e.g. a text)",
     ParseAdd, RunAdd},
    {"delete", "delete NAME", "remove the object from the timeline", ParseDelete, RunDelete},
    {"item", "item NAME ITEM VALUE", "set a standard-drawing item by hand (X, Y, zoom, aspect)",
     ParseItem, RunItem},
    {"event", "event KIND",
     "fire a host event (the plug-in listens to 1 and 3), run the\n"
     "message loop until it is idle, and say what the plug-in\n"
     "read and changed. Its first look at a scene (after load or\n"
     "reset) only learns what is there and changes nothing; when\n"
     "the host refuses its edit it tries again 300 ms later (pump)",
     ParseEvent, RunEvent},
    {"reset", "reset", "fire the host's reset, then run the message loop", ParseReset, RunReset},
    {"pump", "pump MS", "run the message loop for MS milliseconds", ParsePump, RunPump},
    {"select", "select NAME... | select none", "", ParseSelect, RunSelect},
    {"focus", "focus NAME | focus none", "", ParseFocus, RunFocus},
    {"menu", "menu", "run the object-menu entry on the selection", ParseMenu, RunMenu},
    {"dialog", "dialog [ok|cancel after MS] [picture]",
     "open the configuration-menu entry (needs a display); OK or\n"
     "Cancel is pressed after MS, else a person closes it (Cancel\n"
     "after 10 minutes; with --unattended the script is refused).\n"
     "picture: a PNG of the dialog as it shows, before any press,\n"
     "in the --out folder (dialog-lineN.png). A message box is\n"
     "reported and closed",
     ParseDialog, RunDialog},
    {"settings set", "settings set KEY VALUE",
     "write KEY=VALUE to [Setting] of Velmora.ini beside the module", ParseSettingsSet,
     RunSettingsSet},
    {"settings legacy", "settings legacy KEY VALUE",
     "the same in Tessling.ini, the earlier release's file: every\n"
     "load copies it to Velmora.ini while that is missing",
     ParseSettingsSet, RunSettingsLegacy},
    {"settings show", "settings show",
     "print Velmora.ini, or say which file the next load will read", ParseSettingsWord,
     RunSettingsShow},
    {"settings block", "settings block",
     "put a folder in Velmora.ini's place, so that saving fails", ParseSettingsWord,
     RunSettingsBlock},
    {"settings remove", "settings remove", "delete Velmora.ini (or the folder of settings block)",
     ParseSettingsWord, RunSettingsRemove},
    {"refuse", "refuse read|edit|span on|off",
     "make the host refuse RunRead, RunEdit or ReplaceSpan", ParseRefuse, RunRefuse},
    {"trace", "trace on|off", "print every call the plug-in makes into the host", ParseTrace,
     RunTrace},
    {"timeline", "timeline", "print the current scene", NoArguments, RunTimeline},
    {"table", "table [TEXT]",
     "every object of the scene, before (at the previous table or\n"
     "when made) and now; pictures of the ones whose zoom or\n"
     "position changed",
     ParseTable, RunTable},
    {"echo", "echo TEXT", "", ParseEcho, RunEcho},
    {"expect", "expect NAME [first N] [frames N] [zoom T] [x T] [y T]",
     "the object's state (zoom, x, y\n"
     "compare the host's item text exactly)",
     ParseExpect, RunExpect, kCheck},
    {"expect-info", "expect-info TEXT | expect-warn TEXT",
     "a log line of the last command before it", ParseExpectLog, RunExpectInfo, kCheck},
    {"expect-warn", nullptr, "", ParseExpectLog, RunExpectWarn, kCheck},
    {"expect-no-warn", "expect-no-warn", "the last command logged no warning", NoArguments,
     RunExpectNoWarn, kCheck},
};

}  // namespace

std::span<const CommandRow> CommandTable() { return kCommands; }

}  // namespace hostsim
