// Reading and whole-script checking of scenario scripts, and the --help text,
// both driven by the command table.
#include "hostsim/script.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "hostsim/files.h"
#include "hostsim/host.h"

namespace hostsim {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits a line into tokens; "#" outside quotes ends it. Sets `content` to
// the line without its comment.
std::vector<Token> Tokenize(const std::string& line, std::string& content) {
  std::vector<Token> tokens;
  std::size_t i = 0, end = line.size();
  std::size_t contentEnd = end;
  while (i < end) {
    char c = line[i];
    if (IsBlank(c)) {
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
      while (i < end && !IsBlank(line[i]) && line[i] != '#' && line[i] != '"')
        ++i;
      tokens.push_back(Token{line.substr(start, i - start), start, false});
    }
  }
  content = line.substr(0, contentEnd);
  while (!content.empty() && IsBlank(content.back()))
    content.pop_back();
  std::size_t lead = content.find_first_not_of(" \t");
  content = lead == std::string::npos ? std::string() : content.substr(lead);
  return tokens;
}

// "a, b or c"
std::string OneOf(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " or " : ", ";
    text += words[i];
  }
  return text;
}

// The row for the line's first word, or for its first two when the verb
// has sub-commands ("settings set").
const CommandRow& FindRow(const LineReader& line) {
  const std::string& verb = line.Word(0, "the command");
  std::vector<std::string> subVerbs;
  for (const CommandRow& row : CommandTable()) {
    std::string name = row.Verb;
    if (name == verb) return row;
    if (name.compare(0, verb.size() + 1, verb + " ") == 0) {
      subVerbs.push_back(name.substr(verb.size() + 1));
    }
  }
  if (subVerbs.empty()) Fail("unknown command " + Quote(verb));
  const std::string& sub = line.Word(1, OneOf(subVerbs).c_str());
  const std::string twoWords = verb + " " + sub;
  for (const CommandRow& row : CommandTable()) {
    if (row.Verb == twoWords) return row;
  }
  Fail("expected " + OneOf(subVerbs) + " after " + verb + ", not " + Quote(sub));
}

// The line without leading blanks and trailing blanks, comment and all: it
// tells the reader of a run why.
std::string Trimmed(const std::string& raw) {
  std::size_t first = raw.find_first_not_of(" \t");
  std::size_t last = raw.find_last_not_of(" \t\r");
  return raw.substr(first, last - first + 1);
}

// A help entry: the synopsis, then from column 30 what it does. A synopsis
// too long for its column pushes the text three spaces on, or below it when
// the line would grow past 100 columns.
void AppendHelpEntry(std::string& help, const std::string& synopsis, const std::string& text) {
  constexpr std::size_t kColumn = 30, kMaxWidth = 100;
  const std::string indent(kColumn, ' ');
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = std::min(text.find('\n', pos), text.size());
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  std::string entry = "  " + synopsis;
  if (lines.empty()) lines.emplace_back();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      entry += indent;
    } else if (!lines[0].empty()) {
      std::string gap = entry.size() < kColumn ? std::string(kColumn - entry.size(), ' ') : "   ";
      if (entry.size() + gap.size() + lines[0].size() > kMaxWidth) gap = "\n" + indent;
      entry += gap;
    }
    entry += lines[i];
    entry += '\n';
  }
  help += entry;
}

}  // namespace

[[noreturn]] void Fail(std::string message) { throw LineError{std::move(message)}; }

bool IsName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 0x80 && !(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
  }
  return true;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

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

VideoFormat ParseSizeAndRate(const std::string& size, const std::string& rate) {
  VideoFormat format;
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

const std::string& LineReader::Word(std::size_t i, const char* what) const {
  if (i >= t_.size()) Fail(std::string(what) + " is missing");
  return t_[i].Text;
}

void LineReader::NoMore(std::size_t count) const {
  if (t_.size() > count) Fail("unexpected " + Quote(t_[count].Text));
}

std::string LineReader::Rest(std::size_t i, bool required, const char* what) const {
  if (i >= t_.size()) {
    if (required) Fail(std::string(what) + " is missing");
    return std::string();
  }
  if (t_.size() == i + 1 && t_[i].Quoted) return t_[i].Text;
  return content_.substr(t_[i].Start);
}

bool LineReader::OnOff(std::size_t i) const {
  const std::string& w = Word(i, "on or off");
  if (w == "on") return true;
  if (w == "off") return false;
  Fail("expected on or off, not " + Quote(w));
}

TimelineSlot LineReader::ReadSlot(std::size_t i, std::string* name) const {
  TimelineSlot at;
  bool haveLayer = false, haveFrame = false;
  std::set<std::string> given;
  for (; i < t_.size(); i += 2) {
    const std::string& key = t_[i].Text;
    const std::string& value = Word(i + 1, ("the value after " + key).c_str());
    if (!given.insert(key).second) Fail(Quote(key) + " is given twice: say it once");
    if (key == "layer") {
      at.Layer = static_cast<std::int32_t>(ParseInteger(value, 0, 999, "the layer"));
      haveLayer = true;
    } else if (key == "frame") {
      at.Frame = static_cast<std::int32_t>(ParseInteger(value, 0, 100000000, "the frame"));
      haveFrame = true;
    } else if (key == "frames") {
      at.Frames = static_cast<std::int32_t>(ParseInteger(value, 1, 100000000, "the length"));
    } else if (key == "as" && name != nullptr) {
      *name = value;
    } else {
      Fail("unexpected " + Quote(key) + " (expected layer, frame, frames" +
           (name != nullptr ? " or as" : " or the end of the line") + ")");
    }
  }
  if (!haveLayer) Fail("the layer is missing (layer L)");
  if (!haveFrame) Fail("the first frame is missing (frame F)");
  return at;
}

std::wstring LineReader::FullPathOf(const std::string& file) const {
  return FullPath(base_, Wide(file));
}

void LineReader::NeedLoaded(const char* command) const {
  if (!s_.Loaded) Fail(std::string(command) + " needs the plug-in: put a load line before it");
}

void LineReader::AddObject(const std::string& name, const TimelineSlot& at) {
  if (!IsName(name)) Fail(Quote(name) + " cannot name an object: use letters, digits, _ - or .");
  auto it = s_.Objects.find(name);
  if (it != s_.Objects.end()) {
    Fail("the name " + Quote(name) + " is already taken on line " +
         std::to_string(it->second.Line) + " (give the object another with: as NAME)");
  }
  const std::int64_t last = std::int64_t{at.Frame} + at.Frames - 1;
  for (const auto& [other, known] : s_.Objects) {
    if (!known.Alive || known.Scene != s_.Scene || known.At.Layer != at.Layer) continue;
    const std::int64_t otherLast = std::int64_t{known.At.Frame} + known.At.Frames - 1;
    const bool endSure = known.Turn == s_.Turn;
    const bool overlaps =
        known.At.Frame >= at.Frame ? known.At.Frame <= last : endSure && otherLast >= at.Frame;
    if (!overlaps) continue;
    Fail("layer " + std::to_string(at.Layer) + " is taken " +
         (endSure ? "at frames " + std::to_string(known.At.Frame) + "-" + std::to_string(otherLast)
                  : "from frame " + std::to_string(known.At.Frame)) +
         " by " + Quote(other) + " (line " + std::to_string(known.Line) + ")");
  }
  s_.Objects[name] = ScriptState::Known{s_.Scene, true, line_, at, s_.Turn};
}

void LineReader::NeedObject(const std::string& name, bool inCurrentScene) const {
  auto it = s_.Objects.find(name);
  if (it == s_.Objects.end()) Fail("no object is named " + Quote(name));
  if (!it->second.Alive) Fail(Quote(name) + " was deleted before this line");
  if (inCurrentScene && it->second.Scene != s_.Scene) {
    Fail(Quote(name) + " lies in scene " + std::to_string(it->second.Scene) +
         ", not in the current scene " + std::to_string(s_.Scene));
  }
}

void LineReader::DeleteObject(const std::string& name) {
  NeedObject(name, false);
  s_.Objects[name].Alive = false;
}

std::string ScriptHelp() {
  std::string help =
      "A script holds one command per line; \"#\" starts a comment. NAME is an object's\n"
      "name in the script, FILE a path relative to the script's folder, TEXT the rest\n"
      "of the line or a \"quoted\" text. The whole script is checked before it runs.\n"
      "\n";
  for (const CommandRow& row : CommandTable()) {
    if (row.Synopsis != nullptr) AppendHelpEntry(help, row.Synopsis, row.Help);
  }
  return help;
}

std::wstring DrawItemName(const std::string& scriptName) {
  if (scriptName == "X" || scriptName == "x") return kXItem;
  if (scriptName == "Y" || scriptName == "y") return kYItem;
  if (scriptName == "zoom" || Wide(scriptName) == kZoomItem) return kZoomItem;
  if (scriptName == "aspect" || Wide(scriptName) == kAspectItem) return kAspectItem;
  return std::wstring();
}

Script ParseScript(const std::string& text, const std::wstring& baseFolder, bool unattended) {
  Script script;
  ScriptState state;
  state.Unattended = unattended;
  std::string body = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
  const std::wstring base = WithSlash(baseFolder);

  std::size_t pos = 0;
  int lineNumber = 0;
  while (pos <= body.size()) {
    std::size_t newline = body.find('\n', pos);
    std::string raw =
        body.substr(pos, newline == std::string::npos ? std::string::npos : newline - pos);
    ++lineNumber;
    try {
      std::string content;
      std::vector<Token> tokens = Tokenize(raw, content);
      if (!tokens.empty()) {
        LineReader line(lineNumber, std::move(tokens), std::move(content), base, state);
        const CommandRow& row = FindRow(line);
        script.Commands.push_back(Command{lineNumber, Trimmed(raw), &row, row.Parse(line)});
      }
    } catch (const LineError& error) {
      script.Errors.push_back(ScriptError{lineNumber, error.Message});
    }
    if (newline == std::string::npos) break;
    pos = newline + 1;
  }
  return script;
}

}  // namespace hostsim
