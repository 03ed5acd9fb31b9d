// Scenario scripts for the velmora-host program: plain text, one command per
// line, "#" starts a comment. A script is parsed and checked as a whole
// before any of it runs, so that a typo on line 40 cannot leave a half-run
// scenario behind: every error names its line.
//
// The commands themselves are rows of the table in commands.cpp; this file
// holds what their parse functions share: the words of a line, number and
// format parsing, and the checks that span lines (names, scenes, whether the
// plug-in is loaded).
#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "hostsim/host.h"

namespace hostsim {

class LineReader;
class Runner;

// One command of the script language: what --help shows for it, how its
// line is read, and what it does. A parse function returns the command's
// own argument struct (inside the std::any) or calls Fail; the run function
// receives that struct back.
struct CommandRow {
  const char* Verb;      // first word of the line, or two: "settings set"
  const char* Synopsis;  // its --help entry; nullptr: named by the row before
  const char* Help;      // what it does, lines split by "\n"; may be empty
  std::any (*Parse)(LineReader& line);
  void (*Run)(Runner& runner, const std::any& args);
  // A check reads the log of the command before it, so it must leave that
  // log as the "last command's" for the next check.
  bool IsCheck = false;
};

// Every command, in the order of the --help text.
std::span<const CommandRow> CommandTable();

struct Command {
  int Line = 0;
  std::string Source;  // the line as written
  const CommandRow* Row = nullptr;
  std::any Args;  // what Row->Parse returned
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
// `baseFolder`), that names are defined before use and unique, that the
// plug-in is loaded before commands that need it, and, when `unattended`,
// that no dialog waits for a person.
Script ParseScript(const std::string& text, const std::wstring& baseFolder, bool unattended);

// The command list, as the program's help shows it.
std::string ScriptHelp();

// ---- For the parse functions ----

// Thrown by Fail; ParseScript reports it with the line's number.
struct LineError {
  std::string Message;
};
[[noreturn]] void Fail(std::string message);

// `text` in double quotes, as error messages show what was written.
std::string Quote(const std::string& text);

// A whole number from low to high; `what` names it in the error.
std::int64_t ParseInteger(const std::string& text, std::int64_t low, std::int64_t high,
                          const char* what);

// "1920x1080" (or 1920×1080) and "30000/1001".
VideoFormat ParseSizeAndRate(const std::string& size, const std::string& rate);

inline constexpr std::int32_t kDefaultPasteFrames = 120;

// Where a pasted or added object lies on the timeline.
struct TimelineSlot {
  std::int32_t Layer = 0;
  std::int32_t Frame = 0;
  std::int32_t Frames = kDefaultPasteFrames;
};

struct Token {
  std::string Text;
  std::size_t Start = 0;  // offset in the line
  bool Quoted = false;
};

// What the checker knows of the lines before the current one.
struct ScriptState {
  bool Unattended = false;  // nobody is at the display to close a dialog
  bool Loaded = false;
  std::uint32_t Scene = 0;
  // Counts the lines that let the plug-in act (events, the menu, ...): an
  // object's end is sure only until the first of them after it was made,
  // since the plug-in may change lengths. Its first frame never moves.
  int Turn = 0;
  struct Known {
    std::uint32_t Scene = 0;
    bool Alive = true;
    int Line = 0;
    TimelineSlot At;
    int Turn = 0;
  };
  std::map<std::string, Known> Objects;
};

// Letters, digits, "_", "-" and "." (and any character beyond ASCII).
bool IsName(const std::string& name);

// One line as its parse function reads it: word 0 is the verb. Also the
// door to the checks that span lines.
class LineReader {
 public:
  LineReader(int line, std::vector<Token> tokens, std::string content, const std::wstring& base,
             ScriptState& state)
      : line_(line), t_(std::move(tokens)), content_(std::move(content)), base_(base), s_(state) {}

  std::size_t Count() const { return t_.size(); }
  // Word i; fails with "WHAT is missing" when the line is shorter.
  const std::string& Word(std::size_t i, const char* what) const;
  // Fails when the line has more than `count` words.
  void NoMore(std::size_t count) const;
  // The rest of the line from word i: one quoted word as it is, else the
  // raw text.
  std::string Rest(std::size_t i, bool required, const char* what) const;
  bool OnOff(std::size_t i) const;
  // "layer L frame F [frames N]" from word i on, and "[as NAME]" when `name`
  // is given.
  TimelineSlot ReadSlot(std::size_t i, std::string* name) const;
  // A file named on the line, made absolute from the script's folder.
  std::wstring FullPathOf(const std::string& file) const;

  bool Unattended() const { return s_.Unattended; }
  bool Loaded() const { return s_.Loaded; }
  void SetLoaded(bool loaded) { s_.Loaded = loaded; }
  void NeedLoaded(const char* command) const;
  void SetScene(std::uint32_t scene) { s_.Scene = scene; }
  // A new object: the name must be valid and free, and the place free for
  // sure; both are taken from here on.
  void AddObject(const std::string& name, const TimelineSlot& at);
  // The line lets the plug-in act, and so change lengths.
  void PluginMayAct() { ++s_.Turn; }
  // Fails unless the object was made before and not deleted, and when
  // `inCurrentScene`, lies in the scene this line is in.
  void NeedObject(const std::string& name, bool inCurrentScene) const;
  // An existing object that is gone from here on.
  void DeleteObject(const std::string& name);

 private:
  int line_;
  std::vector<Token> t_;
  std::string content_;  // the line without its comment
  const std::wstring& base_;
  ScriptState& s_;
};

// The standard-drawing item a script name stands for ("X", "Y", "zoom" → 拡大率,
// "aspect" → 縦横比, or the host's own names); empty when unknown.
std::wstring DrawItemName(const std::string& scriptName);

}  // namespace hostsim
