#include "work_dir.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Everything a signal handler needs, prepared beforehand: it may only call
// functions that are safe in a handler, so it unlinks the names the pack
// writes instead of reading the folder.
const char* const kWorkFileNames[] = {
    "block.bin", "block.bin.partial", "block.S", "block.o", "launcher.rc", "manifest.xml",
    "app.ico", "resources.o", "launcher.exe", "tool.log"};
const size_t kWorkFileCount = sizeof kWorkFileNames / sizeof kWorkFileNames[0];
char work_dir_path[PATH_MAX];
char work_file_paths[kWorkFileCount][PATH_MAX];
volatile sig_atomic_t work_dir_exists = 0;
volatile pid_t running_tool = 0;

void remove_on_signal(int signal_number) {
  pid_t tool = running_tool;
  if (tool > 0) {
    kill(-tool, SIGKILL);
    waitpid(tool, nullptr, 0);
  }
  if (work_dir_exists) {
    for (size_t i = 0; i < kWorkFileCount; ++i) unlink(work_file_paths[i]);
    rmdir(work_dir_path);
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

bool make_work_dir(const std::string& output_path, std::string* work_dir, std::string* error) {
  size_t slash = output_path.find_last_of('/');
  std::string parent = slash == std::string::npos ? "." : output_path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? output_path : output_path.substr(slash + 1);
  std::string pattern = (slash == std::string::npos ? std::string() : parent) + "." + base +
                        ".packing-XXXXXX";
  // Room for the longest work file name after the folder and a slash.
  if (pattern.size() + 32 >= PATH_MAX) {
    *error = "cannot write '" + output_path + "': path too long";
    return false;
  }
  strcpy(work_dir_path, pattern.c_str());
  if (mkdtemp(work_dir_path) == nullptr) {
    *error = "cannot write '" + output_path + "': " + strerror(errno);
    return false;
  }
  for (size_t i = 0; i < kWorkFileCount; ++i)
    snprintf(work_file_paths[i], PATH_MAX, "%s/%s", work_dir_path, kWorkFileNames[i]);
  work_dir_exists = 1;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = remove_on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  *work_dir = work_dir_path;
  return true;
}

void remove_work_dir() {
  if (!work_dir_exists) return;
  if (DIR* dir = opendir(work_dir_path)) {
    while (struct dirent* entry = readdir(dir)) {
      if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
      unlink((std::string(work_dir_path) + "/" + entry->d_name).c_str());
    }
    closedir(dir);
  }
  rmdir(work_dir_path);
  work_dir_exists = 0;
}

void note_running_tool(pid_t tool) { running_tool = tool; }
