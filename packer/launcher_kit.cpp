#include "launcher_kit.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "work_dir.h"

namespace {

const char* const kKitFiles[] = {"kit.txt", "liblauncher.a", "libzstd_decoder.a",
                                 "attached_block.S.in", "resources.o", "launcher.rc",
                                 "manifest.xml"};
const char kStubPlaceholder[] = "@ATTACHED_BLOCK_FILE@";
// The tools' own messages, kept for the error line when one fails.
const char kToolLog[] = "tool.log";
// Enough of a failing tool's output to show what went wrong.
const size_t kShownLogBytes = 4000;

bool read_text(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *text = content.str();
  return true;
}

bool write_text(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write '" + path + "': " + strerror(errno);
    return false;
  }
  return true;
}

bool copy_file(const std::string& from, const std::string& to, std::string* error) {
  std::string content;
  if (!read_text(from, &content)) {
    *error = "cannot read '" + from + "': " + strerror(errno);
    return false;
  }
  return write_text(to, content, error);
}

// Runs argv in work_dir with its output going to the tool log; on failure
// the error holds the command's name and the end of what it wrote.
bool run_tool(const std::vector<std::string>& argv, const std::string& work_dir,
              std::string* error) {
  std::string log = work_dir + "/" + kToolLog;
  // No interrupt between the start of the tool and its noting: the handler
  // must know whom to end.
  sigset_t interrupts, previous;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGTERM);
  sigaddset(&interrupts, SIGHUP);
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  pid_t child = fork();
  if (child < 0) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    *error = std::string("cannot start ") + argv[0] + ": " + strerror(errno);
    return false;
  }
  if (child == 0) {
    // A group of its own, so that an interrupt can end the tool together
    // with whatever it starts (the driver starts assembler and linker).
    setpgid(0, 0);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int nothing = open("/dev/null", O_RDONLY);
    if (out < 0 || nothing < 0 || chdir(work_dir.c_str()) != 0) _exit(126);
    dup2(nothing, 0);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    dprintf(2, "cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  setpgid(child, child);
  note_running_tool(child);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  note_running_tool(0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string output;
  read_text(log, &output);
  if (output.size() > kShownLogBytes) output = "..." + output.substr(output.size() - kShownLogBytes);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  *error = argv[0] + " failed" + (output.empty() ? std::string() : ":\n" + output);
  return false;
}

}  // namespace

bool load_launcher_kit(const std::string& directory, LauncherKit* kit, std::string* error) {
  *kit = LauncherKit();
  char absolute[PATH_MAX];
  if (directory.empty() || realpath(directory.c_str(), absolute) == nullptr) {
    *error = "no launcher kit at '" + directory + "'" +
             (directory.empty() ? "" : std::string(": ") + strerror(errno)) +
             "; build it with ./run build, or name it with --kit";
    return false;
  }
  kit->directory = absolute;
  for (const char* name : kKitFiles) {
    struct stat st;
    if (stat((kit->directory + "/" + name).c_str(), &st) != 0) {
      *error = "incomplete launcher kit at '" + kit->directory + "': " + name + " is missing";
      return false;
    }
  }
  std::string text;
  read_text(kit->directory + "/kit.txt", &text);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    std::string kind = line.substr(0, blank);
    std::string value = line.substr(blank + 1);
    if (kind == "compiler") kit->compiler = value;
    else if (kind == "resource-compiler") kit->resource_compiler = value;
    else if (kind == "link-option") kit->link_options.push_back(value);
    else if (kind == "link-library") kit->link_libraries.push_back(value);
  }
  if (kit->compiler.empty() || kit->resource_compiler.empty()) {
    *error = "damaged launcher kit at '" + kit->directory + "': kit.txt names no compiler";
    return false;
  }
  return true;
}

bool compile_resources(const LauncherKit& kit, const std::string& work_dir,
                       const std::string& icon_path, std::string* error) {
  // The script names its inputs relative to itself, so all three go in the
  // work folder: no host path is ever quoted inside it.
  if (!copy_file(kit.directory + "/launcher.rc", work_dir + "/launcher.rc", error) ||
      !copy_file(kit.directory + "/manifest.xml", work_dir + "/manifest.xml", error) ||
      !copy_file(icon_path, work_dir + "/app.ico", error))
    return false;
  if (!run_tool({kit.resource_compiler, "-O", "coff", "-i", "launcher.rc", "-o", "resources.o"},
                work_dir, error)) {
    *error = "cannot compile the icon '" + icon_path + "': " + *error;
    return false;
  }
  return true;
}

bool link_launcher(const LauncherKit& kit, const std::string& work_dir,
                   const std::string& resources_object, std::string* error) {
  std::string stub;
  if (!read_text(kit.directory + "/attached_block.S.in", &stub)) {
    *error = "cannot read '" + kit.directory + "/attached_block.S.in'";
    return false;
  }
  size_t at = stub.find(kStubPlaceholder);
  if (at == std::string::npos) {
    *error = "damaged launcher kit at '" + kit.directory + "': the block stub has no file name";
    return false;
  }
  // The assembler looks for the block in its working directory, the work
  // folder, so the stub carries no host path.
  stub.replace(at, strlen(kStubPlaceholder), "block.bin");
  if (!write_text(work_dir + "/block.S", stub, error)) return false;
  if (!run_tool({kit.compiler, "-c", "block.S", "-o", "block.o"}, work_dir, error)) return false;

  // The order of add_onefile_executable: the block first, so that it
  // stands first in the read-only data, then the launcher and resources.
  std::vector<std::string> argv = {kit.compiler};
  argv.insert(argv.end(), kit.link_options.begin(), kit.link_options.end());
  argv.insert(argv.end(), {"block.o", "-Wl,--whole-archive", kit.directory + "/liblauncher.a",
                           "-Wl,--no-whole-archive", resources_object, "-o", "launcher.exe",
                           kit.directory + "/libzstd_decoder.a"});
  argv.insert(argv.end(), kit.link_libraries.begin(), kit.link_libraries.end());
  return run_tool(argv, work_dir, error);
}
