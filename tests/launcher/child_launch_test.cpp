#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/wide_buffer.h"
#include "launcher/child_command_line.h"
#include "launcher/child_launch.h"
#include "launcher/cleanup.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "tests/support/test_support.h"

namespace {

// An unpacked tree, and a module path that no process can be made from.
std::wstring arm_unstartable_launch(const wchar_t* tag) {
  std::wstring root = fresh_test_directory(tag);
  CreateDirectoryW(root.c_str(), nullptr);
  HANDLE file = CreateFileW((root + L"\\app.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr);
  CloseHandle(file);
  wide_copy(target_directory, root.c_str(), TARGET_DIRECTORY_CAPACITY);
  unpack_started = 1;
  wide_copy(module_path, (root + L"\\missing.exe").c_str(), MODULE_PATH_CAPACITY);
  return root;
}

}  // namespace

TEST(ChildLaunch, ChildThatCannotBeStartedIsReportedAndTheUnpackedFilesStay) {
  std::wstring root = arm_unstartable_launch(L"unstartable");
  EXPECT_EXIT_OUTPUT(launch_child(), testing::ExitedWithCode(2),
                     std::string(MESSAGE_LAUNCH_FAILED) + " ([Error 2] " +
                         system_error_text(ERROR_FILE_NOT_FOUND) + ")\r\n");
  EXPECT_NE(GetFileAttributesW((root + L"\\app.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  remove_tree(root);
}

TEST(ChildLaunch, ConsoleEventBeforeTheChildStartsMeansNoChild) {
  std::wstring root = arm_unstartable_launch(L"interrupted");
  // Were the child attempted, the launch message would show and the status
  // would be 2.
  EXPECT_EXIT_OUTPUT(
      {
        on_console_ctrl(CTRL_C_EVENT);
        exit(launch_child() == CONSOLE_EVENT_EXIT_STATUS ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  remove_tree(root);
}
