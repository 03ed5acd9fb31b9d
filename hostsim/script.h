// Scenario scripts for the velmora-host program: plain text, one command per
// line, "#" starts a comment. A script is parsed and checked as a whole
// before any of it runs, so that a typo on line 40 cannot leave a half-run
// scenario behind: every error names its line.
//
// Commands (NAME is an object's name in the script, FILE a path relative to
// the script's folder, TEXT the rest of the line or a "quoted" string):
//
//   load [no-logger]            load the plug-in from the plug-in folder and start it
//   reload [no-logger]          UninitializePlugin, unload, load and start again
//   unload                      UninitializePlugin and unload
//   format WxH RATE/SCALE       the current scene's screen and frame rate, e.g. 1920x1080 30000/1001
//   scene KEY [WxH RATE/SCALE]  switch to scene KEY, made on first use (default 1920x1080 30/1)
//   paste FILE layer L frame F [frames N] [as NAME]
//                               an image object as the host pastes it: X 0, Y 0, zoom 100,
//                               aspect 0, N frames long (default 120); NAME defaults to the
//                               file name without its extension
//   add NAME layer L frame F [frames N]   an object that shows no image (e.g. a text)
//   delete NAME                 remove the object from the timeline
//   item NAME ITEM VALUE        set a standard-drawing item by hand (X, Y, zoom, aspect)
//   event KIND                  fire a host event (the plug-in listens to 1 and 3), then
//                               run the message loop until it is idle
//   reset                       fire the host's reset, then run the message loop
//   pump MS                     run the message loop for MS milliseconds
//   select NAME... | select none
//   focus NAME | focus none
//   menu                        run the object-menu entry on the selection
//   dialog [ok|cancel after MS] open the configuration-menu entry (needs a display)
//   settings set KEY VALUE      write KEY=VALUE to [Setting] of Velmora.ini beside the module
//   settings show | settings remove
//   refuse read|edit|span on|off   make the host refuse RunRead, RunEdit or ReplaceSpan
//   trace on|off                print every call the plug-in makes into the host
//   timeline                    print the current scene
//   table [TEXT]                every object of the scene, before (at the previous table or
//                               when made) and now; pictures of the ones whose zoom or
//                               position changed
//   echo TEXT
//   expect NAME [first N] [frames N] [zoom T] [x T] [y T]   the object's state (zoom, x, y
//                               compare the host's item text exactly)
//   expect-info TEXT | expect-warn TEXT   a log line of the last command before it
//   expect-no-warn              the last command logged no warning
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hostsim {

inline constexpr std::int32_t kDefaultPasteFrames = 120;

enum class Op {
  Load, Reload, Unload, Format, Scene, Paste, Add, Delete, Item, Event, Reset, Pump, Select,
  Focus, Menu, Dialog, SettingsSet, SettingsShow, SettingsRemove, Refuse, Trace, Timeline,
  Table, Echo, Expect, ExpectInfo, ExpectWarn, ExpectNoWarn,
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
  std::string Source;  // the line as written, without its comment
  Op Kind = Op::Echo;

  std::string Name;                 // object name, settings key, refusal or item
  std::vector<std::string> Names;   // select; empty for "none"
  std::wstring Path;                // paste: full path
  std::string Text;                 // echo, table, expect-*, settings value, item value
  std::int32_t Layer = 0;
  std::int32_t Frame = 0;
  std::int32_t Frames = kDefaultPasteFrames;
  std::int64_t Number = 0;          // event kind, scene key, pump ms, dialog delay
  std::optional<ScriptFormat> Format;
  bool Flag = true;                 // logger on / refusal on / trace on
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

// The standard-drawing item a script name stands for ("X", "Y", "zoom" → 拡大率,
// "aspect" → 縦横比, or the host's own names); empty when unknown.
std::wstring DrawItemName(const std::string& scriptName);

}  // namespace hostsim
