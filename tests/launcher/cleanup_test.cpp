#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "common/wide_buffer.h"
#include "launcher/cleanup.h"
#include "launcher/cleanup_testing.h"
#include "common/launch_state.h"
#include "tests/support/test_support.h"

namespace {

// A small unpacked tree: files at the top and two levels down.
std::wstring make_tree(const wchar_t* tag) {
  std::wstring root = fresh_test_directory(tag);
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
  CreateDirectoryW((root + L"\\sub\\deeper").c_str(), nullptr);
  write_whole_file(root + L"\\app.dll", "content");
  write_whole_file(root + L"\\sub\\b.txt", "content");
  write_whole_file(root + L"\\sub\\deeper\\c.txt", "content");
  return root;
}

// Held without delete sharing, as a running program holds its files.
HANDLE hold_open(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  return file;
}

void arm(const std::wstring& directory, unsigned char started) {
  wide_copy(target_directory, directory.c_str(), TARGET_DIRECTORY_CAPACITY);
  unpack_started = started;
  child_process = nullptr;
}

struct Cleanup {
  long requests;
  DWORD elapsed_ms;
};

Cleanup run_cleanup() {
  long before = target_deletion_requests();
  DWORD start = GetTickCount();
  cleanup_target();
  return {target_deletion_requests() - before, GetTickCount() - start};
}

HANDLE start_sleeper(DWORD sleep_ms, DWORD exit_code) {
  std::wstring line = L"sleeper.exe " + std::to_wstring(sleep_ms) + L" " + std::to_wstring(exit_code);
  std::wstring program = test_program_directory() + L"\\..\\apps\\sleeper.exe";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created = {};
  EXPECT_TRUE(CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &created))
      << "error " << GetLastError();
  CloseHandle(created.hThread);
  return created.hProcess;
}

}  // namespace

TEST(Cleanup, TreeThatGoesAtOnceCostsOneRequest) {
  std::wstring root = make_tree(L"tree");
  arm(root, 1);
  Cleanup cleanup = run_cleanup();
  EXPECT_EQ(cleanup.requests, 1);
  EXPECT_FALSE(path_exists(root));
}

TEST(Cleanup, HeldFileKeepsTheDirectoryThroughTwentyOneRequests) {
  std::wstring root = make_tree(L"held");
  HANDLE held = hold_open(root + L"\\sub\\b.txt");
  arm(root, 1);
  Cleanup cleanup = run_cleanup();
  CloseHandle(held);
  EXPECT_EQ(cleanup.requests, 21);
  // Twenty pauses of 100 ms; the tick count may run up to one tick short.
  EXPECT_GE(cleanup.elapsed_ms, 1950u);
  EXPECT_TRUE(path_exists(root + L"\\sub\\b.txt"));
  // Only the held file and the directories above it stay.
  EXPECT_FALSE(path_exists(root + L"\\app.dll"));
  EXPECT_FALSE(path_exists(root + L"\\sub\\deeper"));
  std::cout << "21 deletion requests on a held tree took " << cleanup.elapsed_ms << " ms\n";
  remove_tree(root);
}

TEST(Cleanup, FileInPlaceOfTheDirectoryEndsTheRetries) {
  std::wstring root = fresh_test_directory(L"file");
  write_whole_file(root, "content");
  HANDLE held = hold_open(root);
  arm(root, 1);
  Cleanup cleanup = run_cleanup();
  CloseHandle(held);
  EXPECT_EQ(cleanup.requests, 1);
  EXPECT_LT(cleanup.elapsed_ms, 100u);
  DeleteFileW(root.c_str());
}

TEST(Cleanup, NothingIsDeletedBeforeUnpackingStartsOrWithoutADirectory) {
  std::wstring root = make_tree(L"early");
  for (unsigned char started : {0, 2}) {
    arm(root, started);
    EXPECT_EQ(run_cleanup().requests, 0) << "unpack_started " << int(started);
  }
  // An empty name would make the shell start from the current directory.
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(root.c_str());
  arm(L"", 1);
  EXPECT_EQ(run_cleanup().requests, 0);
  SetCurrentDirectoryW(previous);
  EXPECT_TRUE(path_exists(root + L"\\sub\\deeper\\c.txt"));
  remove_tree(root);
}

TEST(Cleanup, RunningChildGetsItsGraceAndIsTerminatedWithZeroAfterIt) {
  struct Case {
    DWORD sleep_ms;
    DWORD expected_exit_code;
    DWORD min_ms;
    DWORD max_ms;
  };
  const Case cases[] = {
      {300, 7, 0, 4000},        // ends on its own: not terminated
      {60000, 0, 4950, 9000},   // still running after 5000 ms: terminated with 0
  };
  for (const Case& c : cases) {
    std::wstring root = make_tree(L"child");
    arm(root, 1);
    HANDLE child = start_sleeper(c.sleep_ms, 7);
    child_process = child;
    Cleanup cleanup = run_cleanup();
    // The handle stays open for the main thread, which closes it after its
    // own wait.
    EXPECT_EQ(WaitForSingleObject(child, 2000), WAIT_OBJECT_0);
    DWORD exit_code = 12345;
    EXPECT_TRUE(GetExitCodeProcess(child, &exit_code));
    EXPECT_EQ(exit_code, c.expected_exit_code) << "sleep " << c.sleep_ms;
    EXPECT_GE(cleanup.elapsed_ms, c.min_ms);
    EXPECT_LE(cleanup.elapsed_ms, c.max_ms);
    EXPECT_FALSE(path_exists(root));
    child_process = nullptr;
    CloseHandle(child);
  }
}

TEST(Cleanup, ConsoleEventsThatEndTheProcessCleanAndOthersDoNothing) {
  struct Case {
    DWORD control_type;
    bool cleans;
  };
  const Case cases[] = {{CTRL_C_EVENT, true},        {CTRL_BREAK_EVENT, true},
                        {CTRL_CLOSE_EVENT, true},    {3, false},
                        {4, false},                  {CTRL_LOGOFF_EVENT, true},
                        {CTRL_SHUTDOWN_EVENT, true}, {7, false},
                        {0xFFFFFFFFu, false}};
  for (const Case& c : cases) {
    std::wstring root = make_tree(L"event");
    arm(root, 1);
    long before = target_deletion_requests();
    EXPECT_EQ(on_console_ctrl(c.control_type), FALSE) << "type " << c.control_type;
    EXPECT_EQ(target_deletion_requests() - before, c.cleans ? 1 : 0) << "type " << c.control_type;
    EXPECT_EQ(path_exists(root), !c.cleans) << "type " << c.control_type;
    remove_tree(root);
  }
  EXPECT_TRUE(console_event_cleanup_started());
  forget_console_event();
}

TEST(Cleanup, ThousandFilesAreDeleted) {
  std::wstring root = fresh_test_directory(L"thousand");
  CreateDirectoryW(root.c_str(), nullptr);
  for (int d = 0; d < 10; ++d) {
    std::wstring directory = root + L"\\d" + std::to_wstring(d);
    CreateDirectoryW(directory.c_str(), nullptr);
    for (int f = 0; f < 100; ++f) write_whole_file(directory + L"\\f" + std::to_wstring(f), "content");
  }
  arm(root, 1);
  Cleanup cleanup = run_cleanup();
  EXPECT_FALSE(path_exists(root));
  std::cout << "deleting 1000 files in 10 directories took " << cleanup.elapsed_ms << " ms, "
            << cleanup.requests << " request(s)\n";
}
