// Parsing and whole-script checking of scenario scripts.
#include "hostsim/script.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>

#include "hostsim/host.h"

namespace hostsim {
namespace {

struct Token {
  std::string Text;
  std::size_t Start = 0;  // offset in the line
  bool Quoted = false;
};

// Thrown inside the parser only, caught per line.
struct LineError {
  std::string Message;
};

[[noreturn]] void Fail(std::string message) { throw LineError{std::move(message)}; }

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Splits a line into tokens; "#" outside quotes ends it. Sets `content` to
// the line without its comment.
std::vector<Token> Tokenize(const std::string& line, std::string& content) {
  std::vector<Token> tokens;
  std::size_t i = 0, end = line.size();
  std::size_t contentEnd = end;
  while (i < end) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      contentEnd = i;
      break;
    } else if (c == '"') {
      std::size_t close = line.find('"', i + 1);
      if (close == std::string::npos) Fail("a quoted text is not closed");
      tokens.push_back(Token{line.substr(i + 1, close - i - 1), i, true});
      i = close + 1;
    } else {
      std::size_t start = i;
      while (i < end && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#' &&
             line[i] != '"') {
        ++i;
      }
      tokens.push_back(Token{line.substr(start, i - start), start, false});
    }
  }
  content = line.substr(0, contentEnd);
  while (!content.empty() &&
         (content.back() == ' ' || content.back() == '\t' || content.back() == '\r')) {
    content.pop_back();
  }
  std::size_t lead = content.find_first_not_of(" \t");
  content = lead == std::string::npos ? std::string() : content.substr(lead);
  return tokens;
}

std::int64_t ParseInteger(const std::string& text, std::int64_t low, std::int64_t high,
                          const char* what) {
  if (text.empty()) Fail(std::string(what) + " is missing");
  char* stop = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &stop, 10);
  if (stop == text.c_str() || *stop != '\0' || errno == ERANGE) {
    Fail(std::string(what) + " must be a whole number, not " + Quote(text));
  }
  if (value < low || value > high) {
    Fail(std::string(what) + " must be from " + std::to_string(low) + " to " +
         std::to_string(high) + ", not " + text);
  }
  return value;
}

ScriptFormat ParseFormat(const std::string& size, const std::string& rate) {
  ScriptFormat format;
  std::size_t x = size.find_first_of("x×");
  if (x == std::string::npos || x == 0) {
    Fail("the screen size must look like 1920x1080, not " + Quote(size));
  }
  std::size_t after = size.compare(x, 2, "×") == 0 ? x + 2 : x + 1;
  format.Width = static_cast<std::int32_t>(ParseInteger(size.substr(0, x), 0, 100000, "the width"));
  format.Height =
      static_cast<std::int32_t>(ParseInteger(size.substr(after), 0, 100000, "the height"));
  std::size_t slash = rate.find('/');
  if (slash == std::string::npos) {
    Fail("the frame rate must be written RATE/SCALE, e.g. 30/1 or 30000/1001, not " + Quote(rate));
  }
  format.Rate =
      static_cast<std::int32_t>(ParseInteger(rate.substr(0, slash), 0, 10000000, "the rate"));
  format.Scale =
      static_cast<std::int32_t>(ParseInteger(rate.substr(slash + 1), 0, 10000000, "the scale"));
  return format;
}

bool IsName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 0x80 && !(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
  }
  return true;
}

std::string StemOf(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return Utf8(name);
}

const std::set<std::string> kSettingKeys = {"Auto",   "Enabled", "Unit", "Seconds",
                                            "Frames", "Fit",     "Align"};

// What the checker knows while it walks the script in order.
struct CheckState {
  bool Loaded = false;
  std::uint32_t Scene = 0;
  struct Known {
    std::uint32_t Scene = 0;
    bool Alive = true;
    int Line = 0;
  };
  std::map<std::string, Known> Objects;
};

class LineParser {
 public:
  LineParser(std::vector<Token> tokens, std::string content, const std::wstring& base,
             CheckState& state)
      : t_(std::move(tokens)), content_(std::move(content)), base_(base), s_(state) {}

  Command Parse(int line);

 private:
  const std::string& Word(std::size_t i, const char* what) {
    if (i >= t_.size()) Fail(std::string(what) + " is missing");
    return t_[i].Text;
  }
  void NoMore(std::size_t count) {
    if (t_.size() > count) Fail("unexpected " + Quote(t_[count].Text));
  }
  // The rest of the line from token i: one quoted token as it is, else the
  // raw text.
  std::string Rest(std::size_t i, bool required, const char* what) {
    if (i >= t_.size()) {
      if (required) Fail(std::string(what) + " is missing");
      return std::string();
    }
    if (t_.size() == i + 1 && t_[i].Quoted) return t_[i].Text;
    return content_.substr(t_[i].Start);
  }
  bool OnOff(std::size_t i) {
    const std::string& w = Word(i, "on or off");
    if (w == "on") return true;
    if (w == "off") return false;
    Fail("expected on or off, not " + Quote(w));
  }
  void NeedLoaded(const char* command) {
    if (!s_.Loaded) {
      Fail(std::string(command) + " needs the plug-in: put a load line before it");
    }
  }
  void NewName(const std::string& name) {
    if (!IsName(name)) {
      Fail(Quote(name) + " cannot name an object: use letters, digits, _ - or .");
    }
    auto it = s_.Objects.find(name);
    if (it != s_.Objects.end()) {
      Fail("the name " + Quote(name) + " is already taken on line " +
           std::to_string(it->second.Line) + " (give the object another with: as NAME)");
    }
  }
  CheckState::Known& Existing(const std::string& name, bool inCurrentScene) {
    auto it = s_.Objects.find(name);
    if (it == s_.Objects.end()) Fail("no object is named " + Quote(name));
    if (!it->second.Alive) Fail(Quote(name) + " was deleted before this line");
    if (inCurrentScene && it->second.Scene != s_.Scene) {
      Fail(Quote(name) + " lies in scene " + std::to_string(it->second.Scene) +
           ", not in the current scene " + std::to_string(s_.Scene));
    }
    return it->second;
  }
  // "layer L frame F [frames N] [as NAME]" options from token i on.
  void Placement(Command& c, std::size_t i, bool allowAs);

  std::vector<Token> t_;
  std::string content_;
  const std::wstring& base_;
  CheckState& s_;
};

void LineParser::Placement(Command& c, std::size_t i, bool allowAs) {
  bool haveLayer = false, haveFrame = false;
  while (i < t_.size()) {
    const std::string& key = t_[i].Text;
    const std::string& value = Word(i + 1, ("the value after " + key).c_str());
    if (key == "layer") {
      c.Layer = static_cast<std::int32_t>(ParseInteger(value, 0, 999, "the layer"));
      haveLayer = true;
    } else if (key == "frame") {
      c.Frame = static_cast<std::int32_t>(ParseInteger(value, 0, 100000000, "the frame"));
      haveFrame = true;
    } else if (key == "frames") {
      c.Frames = static_cast<std::int32_t>(ParseInteger(value, 1, 100000000, "the length"));
    } else if (key == "as" && allowAs) {
      c.Name = value;
    } else {
      Fail("unexpected " + Quote(key) + " (expected layer, frame, frames" +
           (allowAs ? std::string(" or as") : std::string(" or the end of the line")) + ")");
    }
    i += 2;
  }
  if (!haveLayer) Fail("the layer is missing (layer L)");
  if (!haveFrame) Fail("the first frame is missing (frame F)");
}

Command LineParser::Parse(int line) {
  Command c;
  c.Line = line;
  const std::string& verb = t_[0].Text;

  if (verb == "load" || verb == "reload") {
    c.Kind = verb == "load" ? Op::Load : Op::Reload;
    if (t_.size() > 1) {
      if (t_[1].Text != "no-logger")
        Fail("expected no-logger or nothing, not " + Quote(t_[1].Text));
      c.Flag = false;
    }
    NoMore(2);
    if (c.Kind == Op::Load && s_.Loaded) Fail("the plug-in is already loaded (use reload)");
    if (c.Kind == Op::Reload) NeedLoaded("reload");
    s_.Loaded = true;
  } else if (verb == "unload") {
    c.Kind = Op::Unload;
    NoMore(1);
    NeedLoaded("unload");
    s_.Loaded = false;
  } else if (verb == "format") {
    c.Kind = Op::Format;
    c.Format = ParseFormat(Word(1, "the screen size"), Word(2, "the frame rate"));
    NoMore(3);
  } else if (verb == "scene") {
    c.Kind = Op::Scene;
    c.Number = ParseInteger(Word(1, "the scene key"), 0, 4294967295LL, "the scene key");
    if (t_.size() > 1 + 1)
      c.Format = ParseFormat(Word(2, "the screen size"), Word(3, "the frame rate"));
    NoMore(c.Format ? 4 : 2);
    s_.Scene = static_cast<std::uint32_t>(c.Number);
  } else if (verb == "paste") {
    c.Kind = Op::Paste;
    const std::string& file = Word(1, "the image file");
    Placement(c, 2, true);
    c.Path = FullPath(base_, Wide(file));
    if (c.Name.empty()) c.Name = StemOf(c.Path);
    DWORD attributes = GetFileAttributesW(c.Path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      Fail("no such file: " + Quote(file) + " (looked for " + Utf8(c.Path) + ")");
    }
    NewName(c.Name);
    s_.Objects[c.Name] = CheckState::Known{s_.Scene, true, line};
  } else if (verb == "add") {
    c.Kind = Op::Add;
    c.Name = Word(1, "the object's name");
    Placement(c, 2, false);
    NewName(c.Name);
    s_.Objects[c.Name] = CheckState::Known{s_.Scene, true, line};
  } else if (verb == "delete") {
    c.Kind = Op::Delete;
    c.Name = Word(1, "the object's name");
    NoMore(2);
    Existing(c.Name, false).Alive = false;
  } else if (verb == "item") {
    c.Kind = Op::Item;
    c.Name = Word(1, "the object's name");
    const std::string& item = Word(2, "the item (X, Y, zoom or aspect)");
    if (DrawItemName(item).empty()) {
      Fail("unknown item " + Quote(item) + " (expected X, Y, zoom or aspect)");
    }
    c.Names = {item};
    c.Text = Word(3, "the item's value");
    NoMore(4);
    Existing(c.Name, false);
  } else if (verb == "event") {
    c.Kind = Op::Event;
    c.Number = ParseInteger(Word(1, "the event kind"), INT32_MIN, INT32_MAX, "the event kind");
    NoMore(2);
  } else if (verb == "reset") {
    c.Kind = Op::Reset;
    NoMore(1);
  } else if (verb == "pump") {
    c.Kind = Op::Pump;
    c.Number = ParseInteger(Word(1, "the time in milliseconds"), 0, 60000, "the time");
    NoMore(2);
  } else if (verb == "select") {
    c.Kind = Op::Select;
    Word(1, "the objects to select (or none)");
    if (t_[1].Text == "none") {
      NoMore(2);
    } else {
      for (std::size_t i = 1; i < t_.size(); ++i) {
        Existing(t_[i].Text, true);
        c.Names.push_back(t_[i].Text);
      }
    }
  } else if (verb == "focus") {
    c.Kind = Op::Focus;
    c.Name = Word(1, "the object to focus (or none)");
    NoMore(2);
    if (c.Name == "none") {
      c.Name.clear();
    } else {
      Existing(c.Name, true);
    }
  } else if (verb == "menu") {
    c.Kind = Op::Menu;
    NoMore(1);
    NeedLoaded("menu");
  } else if (verb == "dialog") {
    c.Kind = Op::Dialog;
    if (t_.size() > 1) {
      const std::string& action = t_[1].Text;
      if (action == "ok") {
        c.Dialog = DialogAction::Ok;
      } else if (action == "cancel") {
        c.Dialog = DialogAction::Cancel;
      } else {
        Fail("expected ok or cancel after dialog, not " + Quote(action));
      }
      if (Word(2, "after") != "after") Fail("expected after, not " + Quote(t_[2].Text));
      c.Number = ParseInteger(Word(3, "the delay in milliseconds"), 0, 60000, "the delay");
      NoMore(4);
    }
    NeedLoaded("dialog");
  } else if (verb == "settings") {
    const std::string& what = Word(1, "set, show or remove");
    if (what == "set") {
      c.Kind = Op::SettingsSet;
      c.Name = Word(2, "the key");
      if (kSettingKeys.count(c.Name) == 0) {
        Fail("unknown key " + Quote(c.Name) +
             " (the keys are Auto, Enabled, Unit, Seconds, Frames, Fit, Align)");
      }
      if (t_.size() < 4) Fail("the value is missing");
      c.Text = Rest(3, true, "the value");
    } else if (what == "show") {
      c.Kind = Op::SettingsShow;
      NoMore(2);
    } else if (what == "remove") {
      c.Kind = Op::SettingsRemove;
      NoMore(2);
    } else {
      Fail("expected set, show or remove after settings, not " + Quote(what));
    }
  } else if (verb == "refuse") {
    c.Kind = Op::Refuse;
    c.Name = Word(1, "read, edit or span");
    if (c.Name != "read" && c.Name != "edit" && c.Name != "span") {
      Fail("expected read, edit or span, not " + Quote(c.Name));
    }
    c.Flag = OnOff(2);
    NoMore(3);
  } else if (verb == "trace") {
    c.Kind = Op::Trace;
    c.Flag = OnOff(1);
    NoMore(2);
  } else if (verb == "timeline") {
    c.Kind = Op::Timeline;
    NoMore(1);
  } else if (verb == "table") {
    c.Kind = Op::Table;
    c.Text = Rest(1, false, "");
  } else if (verb == "echo") {
    c.Kind = Op::Echo;
    c.Text = Rest(1, false, "");
  } else if (verb == "expect") {
    c.Kind = Op::Expect;
    c.Name = Word(1, "the object's name");
    Existing(c.Name, false);
    if (t_.size() < 4) Fail("expected at least one of first, frames, zoom, x, y and its value");
    for (std::size_t i = 2; i < t_.size(); i += 2) {
      const std::string& key = t_[i].Text;
      const std::string& value = Word(i + 1, ("the value after " + key).c_str());
      if (key == "first" || key == "frames") {
        ParseInteger(value, key == "first" ? 0 : 1, INT32_MAX, key == "first" ? "first" : "frames");
      } else if (key != "zoom" && key != "x" && key != "y") {
        Fail("unknown check " + Quote(key) + " (expected first, frames, zoom, x or y)");
      }
      c.Checks.emplace_back(key, value);
    }
  } else if (verb == "expect-info" || verb == "expect-warn") {
    c.Kind = verb == "expect-info" ? Op::ExpectInfo : Op::ExpectWarn;
    c.Text = Rest(1, true, "the expected log line");
  } else if (verb == "expect-no-warn") {
    c.Kind = Op::ExpectNoWarn;
    NoMore(1);
  } else {
    Fail("unknown command " + Quote(verb));
  }
  return c;
}

}  // namespace

const char* ScriptHelp() {
  return "A script holds one command per line; \"#\" starts a comment. NAME is an object's\n"
         "name in the script, FILE a path relative to the script's folder, TEXT the rest\n"
         "of the line or a \"quoted\" text. The whole script is checked before it runs.\n"
         "\n"
         "  load [no-logger]            load the plug-in from the plug-in folder and start it\n"
         "  reload [no-logger]          UninitializePlugin, unload, load and start again\n"
         "  unload                      UninitializePlugin and unload\n"
         "  format WxH RATE/SCALE       the current scene's screen and frame rate, e.g. 1920x1080 "
         "30000/1001\n"
         "  scene KEY [WxH RATE/SCALE]  switch to scene KEY, made on first use (default 1920x1080 "
         "30/1)\n"
         "  paste FILE layer L frame F [frames N] [as NAME]\n"
         "                              an image object as the host pastes it: X 0, Y 0, zoom "
         "100,\n"
         "                              aspect 0, N frames long (default 120); NAME defaults to "
         "the\n"
         "                              file name without its extension\n"
         "  add NAME layer L frame F [frames N]   an object that shows no image (e.g. a text)\n"
         "  delete NAME                 remove the object from the timeline\n"
         "  item NAME ITEM VALUE        set a standard-drawing item by hand (X, Y, zoom, aspect)\n"
         "  event KIND                  fire a host event (the plug-in listens to 1 and 3), then\n"
         "                              run the message loop until it is idle\n"
         "  reset                       fire the host's reset, then run the message loop\n"
         "  pump MS                     run the message loop for MS milliseconds\n"
         "  select NAME... | select none\n"
         "  focus NAME | focus none\n"
         "  menu                        run the object-menu entry on the selection\n"
         "  dialog [ok|cancel after MS] open the configuration-menu entry (needs a display)\n"
         "  settings set KEY VALUE      write KEY=VALUE to [Setting] of Velmora.ini beside the "
         "module\n"
         "  settings show | settings remove\n"
         "  refuse read|edit|span on|off   make the host refuse RunRead, RunEdit or ReplaceSpan\n"
         "  trace on|off                print every call the plug-in makes into the host\n"
         "  timeline                    print the current scene\n"
         "  table [TEXT]                every object of the scene, before (at the previous table "
         "or\n"
         "                              when made) and now; pictures of the ones whose zoom or\n"
         "                              position changed\n"
         "  echo TEXT\n"
         "  expect NAME [first N] [frames N] [zoom T] [x T] [y T]   the object's state (zoom, x, "
         "y\n"
         "                              compare the host's item text exactly)\n"
         "  expect-info TEXT | expect-warn TEXT   a log line of the last command before it\n"
         "  expect-no-warn              the last command logged no warning\n";
}

std::wstring DrawItemName(const std::string& scriptName) {
  if (scriptName == "X" || scriptName == "x") return L"X";
  if (scriptName == "Y" || scriptName == "y") return L"Y";
  if (scriptName == "zoom" || Wide(scriptName) == kZoomItem) return kZoomItem;
  if (scriptName == "aspect" || Wide(scriptName) == kAspectItem) return kAspectItem;
  return std::wstring();
}

Script ParseScript(const std::string& text, const std::wstring& baseFolder) {
  Script script;
  CheckState state;
  std::string body = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
  std::wstring base = baseFolder;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';

  std::size_t pos = 0;
  int line = 0;
  while (pos <= body.size()) {
    std::size_t newline = body.find('\n', pos);
    std::string raw =
        body.substr(pos, newline == std::string::npos ? std::string::npos : newline - pos);
    ++line;
    try {
      std::string content;
      std::vector<Token> tokens = Tokenize(raw, content);
      if (!tokens.empty()) {
        LineParser parser(std::move(tokens), std::move(content), base, state);
        Command command = parser.Parse(line);
        // Shown as written, comment and all: it tells the reader of a run why.
        std::size_t first = raw.find_first_not_of(" \t");
        std::size_t last = raw.find_last_not_of(" \t\r");
        command.Source = raw.substr(first, last - first + 1);
        script.Commands.push_back(std::move(command));
      }
    } catch (const LineError& error) {
      script.Errors.push_back(ScriptError{line, error.Message});
    }
    if (newline == std::string::npos) break;
    pos = newline + 1;
  }
  return script;
}

// A path relative to `base` (or absolute) made whole.
std::wstring FullPath(const std::wstring& base, const std::wstring& path) {
  bool absolute = (path.size() > 1 && path[1] == L':') ||
                  (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
  std::wstring joined = absolute ? path : base + path;
  DWORD n = GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
  if (n == 0) return joined;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(joined.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

}  // namespace hostsim
