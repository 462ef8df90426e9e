#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/wide_buffer.h"
#include "launcher/app_library.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "tests/support/app_report.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_support.h"

namespace {

std::wstring apps_directory() { return test_program_directory() + L"\\..\\apps"; }

void copy_app(const wchar_t* name, const std::wstring& destination) {
  ASSERT_TRUE(CopyFileW((apps_directory() + L"\\" + name).c_str(), destination.c_str(), FALSE))
      << "error " << GetLastError();
}

// Sets up the loading child's view: the target directory and the library in it.
void arm(const std::wstring& directory, const std::wstring& library) {
  wide_copy(target_directory, directory.c_str(), TARGET_DIRECTORY_CAPACITY);
  wide_copy(app_library_path, library.c_str(), APP_LIBRARY_PATH_CAPACITY);
}

std::string load_failure_line(DWORD code) {
  return std::string(MESSAGE_LOAD_DLL_FAILED) + " ([Error " + std::to_string(code) + "] " +
         system_error_text(code) + ")\r\n";
}

}  // namespace

TEST(AppLibrary, RunCodeGetsTheRuntimesArgumentsAndTheLibraryPathAndGivesTheStatus) {
  std::wstring directory = scratch_directory(L"app");
  copy_app(L"test_app.dll", directory + L"\\app.dll");
  arm(directory, directory + L"\\app.dll");
  std::wstring report_path = directory + L".report";
  for (int status : {0, 1, -5, 0x7FFFFFFF, static_cast<int>(0xC0000005u)}) {
    std::wstring actions = L"report=" + report_path + L";exit=" + std::to_wstring(status);
    ScopedVariable application_actions(L"TEST_APP_ACTIONS", actions.c_str());
    EXPECT_EQ(run_application_library(), status);
  }
  // A loading child keeps the library to its end; this process unloads it,
  // so that a later run of this test can replace the file.
  while (HMODULE loaded = GetModuleHandleW(app_library_path)) FreeLibrary(loaded);
  auto report = read_report(report_path);
  EXPECT_EQ(field(report, L"library_path"), std::wstring(app_library_path));
  EXPECT_EQ(_wcsicmp(field(report, L"module_path").c_str(), app_library_path), 0);
  ASSERT_EQ(field(report, L"argc"), std::to_wstring(launcher_argc()));
  for (int i = 0; i < launcher_argc(); ++i) {
    EXPECT_EQ(field(report, (L"argv." + std::to_wstring(i)).c_str()), launcher_argv()[i]);
  }
  DeleteFileW(report_path.c_str());
}

TEST(AppLibrary, LibraryThatDoesNotLoadIsReportedWithTheSystemsCode) {
  std::wstring directory = scratch_directory(L"broken");
  HANDLE text = CreateFileW((directory + L"\\app.dll").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(text, "not a library\r\n", 15, &written, nullptr);
  CloseHandle(text);
  arm(directory, directory + L"\\app.dll");
  EXPECT_EXIT_OUTPUT(run_application_library(), testing::ExitedWithCode(2),
                     load_failure_line(ERROR_BAD_EXE_FORMAT));
  arm(directory, directory + L"\\missing.dll");
  EXPECT_EXIT_OUTPUT(run_application_library(), testing::ExitedWithCode(2),
                     load_failure_line(ERROR_MOD_NOT_FOUND));
}

TEST(AppLibrary, LibraryWithoutRunCodeIsReported) {
  std::wstring directory = scratch_directory(L"no_entry");
  copy_app(L"no_entry_app.dll", directory + L"\\app.dll");
  arm(directory, directory + L"\\app.dll");
  EXPECT_EXIT_OUTPUT(run_application_library(), testing::ExitedWithCode(2),
                     std::string(MESSAGE_NO_ENTRY_POINT) + "\r\n");
}

// Each case runs in a process of its own: a helper once loaded would be
// found by name in every later case.
TEST(AppLibrary, DependenciesComeFromTheLibrarysDirectoryAndTheTargetDirectoryOnly) {
  std::wstring directory = scratch_directory(L"dependent");
  CreateDirectoryW((directory + L"\\bin").c_str(), nullptr);
  CreateDirectoryW((directory + L"\\elsewhere").c_str(), nullptr);
  copy_app(L"dependent_app.dll", directory + L"\\app.dll");
  copy_app(L"dependent_app.dll", directory + L"\\bin\\app.dll");
  copy_app(L"helper_library.dll", directory + L"\\helper_library.dll");
  copy_app(L"dependent_app.dll", directory + L"\\elsewhere\\app.dll");
  // Beside the library.
  EXPECT_EXIT(
      {
        arm(directory, directory + L"\\app.dll");
        exit(run_application_library());
      },
      testing::ExitedWithCode(42), "");
  // In the target directory, above the library's own.
  EXPECT_EXIT(
      {
        arm(directory, directory + L"\\bin\\app.dll");
        exit(run_application_library());
      },
      testing::ExitedWithCode(42), "");
  // Only in the current directory: not looked at.
  EXPECT_EXIT_OUTPUT(
      {
        SetCurrentDirectoryW(directory.c_str());
        arm(directory + L"\\elsewhere", directory + L"\\elsewhere\\app.dll");
        exit(run_application_library());
      },
      testing::ExitedWithCode(2), load_failure_line(ERROR_MOD_NOT_FOUND));
}
