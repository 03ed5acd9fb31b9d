// Scenario scripts for the velmora-host program: plain text, one command per
// line, "#" starts a comment. A script is parsed and checked as a whole
// before any of it runs, so that a typo on line 40 cannot leave a half-run
// scenario behind: every error names its line.
//
// The commands are listed by ScriptHelp(), which velmora-host --help prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hostsim {

inline constexpr std::int32_t kDefaultPasteFrames = 120;

enum class Op {
  Load,
  Reload,
  Unload,
  Format,
  Scene,
  Paste,
  Add,
  Delete,
  Item,
  Event,
  Reset,
  Pump,
  Select,
  Focus,
  Menu,
  Dialog,
  SettingsSet,
  SettingsShow,
  SettingsRemove,
  Refuse,
  Trace,
  Timeline,
  Table,
  Echo,
  Expect,
  ExpectInfo,
  ExpectWarn,
  ExpectNoWarn,
};

struct ScriptFormat {
  std::int32_t Width = 1920;
  std::int32_t Height = 1080;
  std::int32_t Rate = 30;
  std::int32_t Scale = 1;
};

enum class DialogAction { Wait, Ok, Cancel };

struct Command {
  int Line = 0;
  std::string Source;  // the line as written
  Op Kind = Op::Echo;

  std::string Name;                // object name, settings key, refusal or item
  std::vector<std::string> Names;  // select; empty for "none"
  std::wstring Path;               // paste: full path
  std::string Text;                // echo, table, expect-*, settings value, item value
  std::int32_t Layer = 0;
  std::int32_t Frame = 0;
  std::int32_t Frames = kDefaultPasteFrames;
  std::int64_t Number = 0;  // event kind, scene key, pump ms, dialog delay
  std::optional<ScriptFormat> Format;
  bool Flag = true;  // logger on / refusal on / trace on
  DialogAction Dialog = DialogAction::Wait;
  // expect: key ("first", "frames", "zoom", "x", "y") and wanted value.
  std::vector<std::pair<std::string, std::string>> Checks;
};

struct ScriptError {
  int Line = 0;
  std::string Message;
};

struct Script {
  std::vector<Command> Commands;
  std::vector<ScriptError> Errors;  // empty when the script may run
};

// Parses UTF-8 text (a byte-order mark is skipped) and checks it as a whole:
// syntax, ranges, that pasted files exist (relative paths are taken from
// `baseFolder`), that names are defined before use and unique, and that the
// plug-in is loaded before commands that need it.
Script ParseScript(const std::string& text, const std::wstring& baseFolder);

// The command list, as the program's help shows it.
const char* ScriptHelp();

// The standard-drawing item a script name stands for ("X", "Y", "zoom" → 拡大率,
// "aspect" → 縦横比, or the host's own names); empty when unknown.
std::wstring DrawItemName(const std::string& scriptName);

// `path` made absolute; a relative path is taken from `base` (empty: from
// the current folder).
std::wstring FullPath(const std::wstring& base, const std::wstring& path);

}  // namespace hostsim
