// The values of the platform placeholders: directories, argument 0 and the
// process id.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "tests/target/spec_test_support.h"

namespace {

std::wstring folder(int id) {
  wchar_t path[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathW(nullptr, id, nullptr, 0, path), S_OK);
  return without_trailing_backslashes(path);
}

TEST(DirectoryValues, ComeWithoutTrailingBackslash) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"{TEMP}", temporary_directory()},
      {L"{HOME}", folder(CSIDL_PROFILE)},
      {L"{CACHE_DIR}", folder(CSIDL_LOCAL_APPDATA)},
      {L"{TEMP}\\x", temporary_directory() + L"\\x"},
  };
  for (const auto& c : cases) {
    Expansion result = expand(c.first);
    EXPECT_TRUE(result.succeeded) << c.first;
    EXPECT_EQ(result.text, c.second) << c.first;
    EXPECT_FALSE(c.second.empty());
    EXPECT_NE(c.second.back(), L'\\');
  }
}

struct ProgramCase {
  const wchar_t* argv0;
  const wchar_t* base;
  const wchar_t* directory;
};

TEST(ProgramValues, BaseAndDirectoryComeFromArgumentZero) {
  const ProgramCase cases[] = {
      {L"app", L"app", L"app"},
      {L"App.EXE", L"App", L"App.EXE"},
      {L".exe", L"", L".exe"},
      {L"exe", L"exe", L"exe"},
      {L"app.exe.txt", L"app.exe.txt", L"app.exe.txt"},
      {L"C:\\dir\\app.exe", L"C:\\dir\\app", L"C:\\dir"},
      {L"C:\\my.exe\\tool", L"C:\\my.exe\\tool", L"C:\\my.exe"},
      {L"C:/dir/app.exe", L"C:/dir/app", L"C:/dir/app.exe"},
      {L"\\app.exe", L"\\app", L""},
  };
  for (const ProgramCase& c : cases) {
    ScopedArgv0 argv0(c.argv0);
    EXPECT_EQ(expand(L"{PROGRAM}").text, c.argv0);
    Expansion base = expand(L"<{PROGRAM_BASE}>");
    EXPECT_TRUE(base.succeeded) << c.argv0;
    EXPECT_EQ(base.text, std::wstring(L"<") + c.base + L">") << c.argv0;
    Expansion directory = expand(L"<{PROGRAM_DIR}>");
    EXPECT_TRUE(directory.succeeded) << c.argv0;
    EXPECT_EQ(directory.text, std::wstring(L"<") + c.directory + L">") << c.argv0;
  }
}

TEST(ProgramValues, MissingArgumentZeroAborts) {
  ScopedArgv0 argv0(nullptr);
  for (const wchar_t* spec : {L"{PROGRAM}", L"{PROGRAM_BASE}", L"{PROGRAM_DIR}"}) {
    EXPECT_EXIT(expand(spec), ABORTED, "") << spec;
  }
}

TEST(ProcessIdValue, ComesFromTheParentVariableElseFromThisProcess) {
  const std::wstring own = std::to_wstring(GetCurrentProcessId());
  const std::pair<const wchar_t*, std::wstring> cases[] = {
      {nullptr, own},
      {L"", own},
      {L"0042", L"0042"},
      {L"1234", L"1234"},
  };
  for (const auto& c : cases) {
    ScopedVariable parent(L"VELDOR_ONEFILE_PARENT", c.first);
    Expansion result = expand(L"{PID}");
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.text, c.second);
  }
}

TEST(ProcessIdValue, ParentVariableWithAnythingButDigitsAborts) {
  for (const wchar_t* value : {L"42a", L" 42", L"42 ", L"-42", L"+42", L"4\\2"}) {
    ScopedVariable parent(L"VELDOR_ONEFILE_PARENT", value);
    EXPECT_EXIT(expand(L"{PID}"), ABORTED, "") << value;
  }
}

}  // namespace
