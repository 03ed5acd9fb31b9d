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
//   velmora-host.exe [--plugins DIR] [--out DIR] [--check] [--unattended] SCRIPT
//
// Exit status: 0 when everything ran and every expectation held, 1 when an
// expectation failed, the plug-in broke a host rule or a command could not be
// carried out, 2 when the command line or the script is wrong (then nothing
// has run).
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <optional>
#include <string>

#include "hostsim/files.h"
#include "hostsim/plugin_module.h"
#include "hostsim/runner.h"
#include "hostsim/script.h"

namespace hostsim {
namespace {

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

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes the folder and proves that a file can be written in it, so that a
// run does not stop at its first picture.
std::string OutputFolderProblem(const std::wstring& folder) {
  if (!MakeFolders(folder) || !IsFolder(folder)) return "cannot make the folder";
  wchar_t probe[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder.c_str(), L"vh", 0, probe) == 0) return "cannot write in the folder";
  DeleteFileW(probe);
  return std::string();
}

// What will surely stop the script before it runs: a plug-in that cannot be
// loaded. Returns the exit status when the program ends here.
std::optional<int> CheckPluginFolder(const Options& opt, const Script& script) {
  const bool loads =
      std::any_of(script.Commands.begin(), script.Commands.end(),
                  [](const Command& c) { return std::string(c.Row->Verb) == "load"; });
  if (!loads) return std::nullopt;
  const std::wstring module = opt.PluginFolder + L"Velmora.aux2";
  const std::string problem = ModuleFileProblem(module);
  if (problem.empty()) return std::nullopt;
  if (GetFileAttributesW(module.c_str()) == INVALID_FILE_ATTRIBUTES) {
    WriteError("velmora-host: no Velmora.aux2 in " + Utf8(opt.PluginFolder) +
               " (--plugins names the plug-in folder)\n");
  } else {
    WriteError("velmora-host: " + Utf8(module) + " is not a 64-bit Windows DLL: " + problem + "\n");
  }
  return 2;
}

constexpr const char* kUsage =
    "usage: velmora-host.exe [--plugins DIR] [--out DIR] [--check] [--unattended] SCRIPT\n"
    "  --plugins DIR  the host's plug-in folder: Velmora.aux2 is loaded from it and\n"
    "                 Velmora.ini lies beside it (default: this program's folder)\n"
    "  --out DIR      where the pictures go (made if missing; default: no pictures)\n"
    "  --check        only check the script, and that the plug-in folder holds\n"
    "                 the module\n"
    "  --unattended   nobody sees the display (a virtual one), so nobody can close\n"
    "                 a dialog: a dialog line must say ok or cancel after MS, else\n"
    "                 the script is refused before it runs (scripts/play.sh gives\n"
    "                 this when it runs the script on a virtual display)\n"
    "  --help         this text and the script's commands\n";

// Reads the command line into `opt`; returns the exit status when the
// program ends here (help, or a mistake), nullopt when it goes on.
std::optional<int> ReadCommandLine(int argc, wchar_t** argv, Options& opt) {
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--plugins" || arg == L"--out") {
      if (i + 1 == argc || argv[i + 1][0] == L'\0') {
        WriteError("velmora-host: " + Utf8(arg) + " needs a folder after it\n" + kUsage);
        return 2;
      }
      (arg == L"--plugins" ? opt.PluginFolder : opt.OutFolder) = argv[++i];
    } else if (arg == L"--check") {
      opt.CheckOnly = true;
    } else if (arg == L"--unattended") {
      opt.Unattended = true;
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
  return std::nullopt;
}

// Reads and checks the script as a whole; returns the exit status when the
// program ends here.
std::optional<int> ReadScript(const Options& opt, Script& script) {
  std::string text;
  if (!ReadWholeFile(opt.ScriptPath, text)) {
    WriteError("velmora-host: cannot read " + Utf8(opt.ScriptPath) + "\n");
    return 2;
  }
  script = ParseScript(text, FolderOf(opt.ScriptPath), opt.Unattended);
  const std::string scriptName = Utf8(FileNameOf(opt.ScriptPath));
  if (!script.Errors.empty()) {
    for (const ScriptError& e : script.Errors) {
      WriteError(scriptName + ":" + std::to_string(e.Line) + ": " + e.Message + "\n");
    }
    WriteError("velmora-host: " + std::to_string(script.Errors.size()) +
               " error(s) in the script; nothing was run\n");
    return 2;
  }
  if (script.Commands.empty()) {
    WriteError("velmora-host: " + scriptName +
               " is empty: it holds no command, only blank lines and comments\n");
    return 2;
  }
  return CheckPluginFolder(opt, script);
}

int Main(int argc, wchar_t** argv) {
  Options opt;
  if (std::optional<int> status = ReadCommandLine(argc, argv, opt)) return *status;
  Script script;
  if (std::optional<int> status = ReadScript(opt, script)) return *status;
  const std::string scriptName = Utf8(FileNameOf(opt.ScriptPath));
  if (opt.CheckOnly) {
    Write(scriptName + ": " + std::to_string(script.Commands.size()) + " commands, no errors\n");
    return 0;
  }
  if (!opt.OutFolder.empty()) {
    const std::string problem = OutputFolderProblem(opt.OutFolder);
    if (!problem.empty()) {
      WriteError("velmora-host: " + problem + " " + Utf8(opt.OutFolder) + " (--out)\n");
      return 2;
    }
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
