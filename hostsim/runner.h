// One run of a scenario script: the simulated host, the module loaded into
// it, and what the commands have printed, checked and drawn so far. The run
// functions of the command table (commands.cpp) act through this class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/media_wic.h"
#include "hostsim/plugin_module.h"
#include "hostsim/report.h"
#include "hostsim/script.h"
#include "hostsim/settings_view.h"
#include "hostsim/watch.h"

namespace hostsim {

struct Options {
  std::wstring PluginFolder;
  std::wstring OutFolder;  // empty: no pictures
  std::wstring ScriptPath;
  bool CheckOnly = false;
  bool Unattended = false;  // nobody can close a dialog
};

// The printout: UTF-8 text, flushed at once so that it interleaves with the
// plug-in's own output in the order things happened.
void Write(const std::string& text);
void WriteError(const std::string& text);

// "1920x1080, 30/1 fps" with `between` as the ", ".
std::string VideoFormatText(const VideoFormat& format, const char* between);

class Runner {
 public:
  explicit Runner(const Options& options);

  // Runs every command; returns the number of failures.
  int Run(const std::vector<Command>& commands);

  // ---- for the run functions ----
  Host& SimHost() { return host_; }
  bool ModuleLoaded() const { return module_.Loaded(); }
  std::wstring SettingsFile() const { return opt_.PluginFolder + kSettingsName; }
  std::wstring LegacySettingsFile() const { return opt_.PluginFolder + kLegacySettingsName; }
  void SetTrace(bool on) { trace_ = on; }
  // The command waits `ms` on purpose; its time limit grows by as much.
  void AllowTime(DWORD ms) { deadline_.Extend(ms); }
  // After the host's reset the plug-in's next look at any scene is a first.
  void ForgetLooks() { looked_.clear(); }

  // One line of the printout under the command.
  void Say(const std::string& text);
  // The command cannot be carried out: reports why and ends the run.
  [[noreturn]] void Fatal(const std::string& why);
  // Counts an expectation; the caller says what was found.
  void CountCheck(bool held);
  // The log lines of the last command that was not a check.
  const std::vector<std::wstring>& LastInfo() const { return lastInfo_; }
  const std::vector<std::wstring>& LastWarn() const { return lastWarn_; }

  void Load(bool withLogger);
  void Unload();
  // The object a script name stands for.
  SimObject& Object(const std::string& name);
  // Fails the command when the span is taken on its layer.
  void CheckFree(const TimelineSlot& at);
  // Gives a new object its script name; its state now is the "before" of
  // the next table.
  void NameObject(SimObject& object, const std::string& name);
  void DeleteObject(const std::string& name);
  std::string ImageSizeText(const SimObject& object);

  // With `picture`, a PNG of the dialog as it first shows.
  void OpenDialog(DialogAction action, std::int64_t closeAfterMs, bool picture);
  void PrintTimeline();
  void PrintTable(const std::string& title);

 private:
  struct Failure {};  // thrown by Fatal, caught by Run

  void RunCommand(const Command& command);
  void PrintNewLogAndCalls(std::size_t infoFrom, std::size_t warnFrom, std::size_t callsFrom);
  void SaySettingsInEffect(bool hadSettings, bool hadLegacy);
  // What the plug-in's calls since `callsFrom` read and changed in the
  // current scene, whose objects were `before`; empty when it made none.
  std::string PluginWork(std::size_t callsFrom, const std::map<ObjectId, ObjectState>& before);
  std::map<ObjectId, ObjectState> SceneStates();
  void PrintSummary();
  std::optional<ImageSize> ImageSizeOf(const SimObject& object);
  TableRow RowOf(const SimObject& object);
  // Draws where an aligned image lies on the screen and appends the names
  // of the files written (or why one could not be) to `names`.
  void WritePictures(const SimObject& object, const TableRow& row, std::vector<std::string>& names);
  static ObjectState StateOf(const SimObject& object);
  // Writes the dialog's picture; returns the line that reports it.
  std::string WriteDialogPicture(HWND dialog);

  Options opt_;
  Host host_;
  PluginModule module_;
  WicMediaReader wic_;
  std::map<std::string, ObjectId> names_;
  std::map<ObjectId, ObjectState> before_;
  std::vector<std::wstring> lastInfo_, lastWarn_;
  HWND mainWindow_ = nullptr;
  int line_ = 0;  // of the command running
  bool trace_ = false;
  int tables_ = 0;
  int checks_ = 0;
  int failures_ = 0;
  int pictures_ = 0;
  // The scenes the plug-in has read since it was loaded or the host reset.
  std::set<std::uint32_t> looked_;
  Deadline deadline_;
};

}  // namespace hostsim
