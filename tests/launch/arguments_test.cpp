// What the application receives of the launcher's command line: exactly
// the arguments that a plain program started by the same command line
// receives, or a refusal when the system could not pass them on whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/launch_driver.h"
#include "tests/support/test_support.h"

namespace {

std::wstring app_launcher() { return launcher_path(L"app_launcher"); }
std::wstring plain_app() { return test_program_directory() + L"\\..\\apps\\plain_app.exe"; }

std::vector<std::wstring> reported_arguments(const Report& report) {
  std::vector<std::wstring> arguments;
  int count = _wtoi(field(report, L"argc").c_str());
  for (int i = 0; i < count; ++i) arguments.push_back(field(report, L"argv." + std::to_wstring(i)));
  return arguments;
}

}  // namespace

TEST(Arguments, ReachTheApplicationUnchangedEmptyOnesIncluded) {
  struct Case {
    const wchar_t* typed;     // as it stands on the launcher's command line
    const wchar_t* received;  // what the application gets
  };
  const Case cases[] = {
      {L"\"\"", L""},
      {L"plain", L"plain"},
      {L"\"a b\"", L"a b"},
      {L"\"tab\there\"", L"tab\there"},
      {L"\"line\nfeed\"", L"line\nfeed"},
      {L"\"say \\\"hi\\\"\"", L"say \"hi\""},
      {L"a\\\\\\\"b", L"a\\\"b"},
      {L"\"x y\\\\\"", L"x y\\"},
      {L"\"two \\\\\\\\\"", L"two \\\\"},
      {L"trailing\\", L"trailing\\"},
      {L"C:\\dir\\\\sub", L"C:\\dir\\\\sub"},
      {L"\"\"", L""},
      {L"\x00fc\x20ac\xd834\xdd1e", L"\x00fc\x20ac\xd834\xdd1e"},
      {L"\"\x00e9t\x00e9 \x4e2d\"", L"\x00e9t\x00e9 \x4e2d"},
      {L"last", L"last"},
      {L"\"\"", L""},
  };
  std::wstring command_line = L"\"my tool\"";
  std::vector<std::wstring> expected = {app_launcher()};
  for (const Case& c : cases) {
    command_line += L" ";
    command_line += c.typed;
    expected.push_back(c.received);
  }
  std::wstring report_path = scratch_directory(L"arguments") + L"\\report";
  LaunchResult result = run_launcher(app_launcher(), command_line, L"report=" + report_path);
  EXPECT_EQ(result.exit_code, 0u) << result.output;
  Report report = read_report(report_path);
  // Element 0 is the executable itself; the name it was started by is kept
  // for the application in the environment.
  EXPECT_EQ(reported_arguments(report), expected);
  EXPECT_EQ(field(report, L"VELDOR_ORIGINAL_ARGV0"), L"my tool");
  expect_target_directory_gone(report, result);
}

TEST(Arguments, TheApplicationReceivesWhatAPlainProgramReceives) {
  // Raw command lines, program name included, as another program may pass
  // them; the same line starts the launcher and a plain program.
  const wchar_t* const lines[] = {
      L"\"L\"x y",
      L"tool a\"b c\"d e",
      L"tool \"a\"\"b\" \"\"\"c\"\"\" d\"\"e",
      L"tool \"a\"\"\" b",
      L"tool a\\\"b \"c\\\\\"d \\\\\\\"e\\\\ f\\\\\\\\\"g h\"",
      L"tool\t\"x\ty\"\tz\t",
      L"tool \"\" a \"\" \"\"",
      L"tool \"trailing\\\\\" b\\",
      L"tool a\\",
      L"\"C:\\my dir\\tool.exe\" \"spaced arg\"   several   blanks  ",
      L"tool \"unterminated quote",
      L"to\"o l\" \\\"a \"\\\\\"",
      L"tool",
  };
  std::wstring scratch = scratch_directory(L"plain");
  std::wstring launcher_report = scratch + L"\\launcher", plain_report = scratch + L"\\plain";
  for (const wchar_t* line : lines) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
    LaunchResult launched = run_launcher(app_launcher(), line, L"report=" + launcher_report);
    LaunchResult plain = run_launcher(plain_app(), line, L"report=" + plain_report);
    ASSERT_EQ(launched.exit_code, 0u) << launched.output;
    ASSERT_EQ(plain.exit_code, 0u) << plain.output;
    Report from_launcher = read_report(launcher_report);
    std::vector<std::wstring> received = reported_arguments(from_launcher);
    std::vector<std::wstring> wanted = reported_arguments(read_report(plain_report));
    ASSERT_FALSE(wanted.empty());
    // Element 0 names the executable for the application; the name the
    // program was started by is kept in the environment.
    EXPECT_EQ(field(from_launcher, L"VELDOR_ORIGINAL_ARGV0"), wanted[0]);
    wanted[0] = app_launcher();
    EXPECT_EQ(received, wanted);
    DeleteFileW(launcher_report.c_str());
    DeleteFileW(plain_report.c_str());
  }
}

TEST(Arguments, ACommandLineTheSystemCannotTakeWholeIsRefusedBeforeUnpacking) {
  std::wstring report_path = scratch_directory(L"longest") + L"\\report";
  // The child's command line is the executable's path as the launcher
  // finds it, quoted when it holds a blank, a blank and the argument.
  ASSERT_EQ(run_launcher(app_launcher(), L"tool", L"report=" + report_path).exit_code, 0u);
  std::wstring module = field(read_report(report_path), L"argv.0");
  DeleteFileW(report_path.c_str());
  size_t head = module.size() + (module.find(L' ') != std::wstring::npos ? 2 : 0) + 1;
  // CreateProcessW takes 32,767 units with the terminator.
  std::wstring longest(32766 - head, L'a');

  LaunchResult fits = run_launcher(app_launcher(), L"tool " + longest, L"report=" + report_path);
  EXPECT_EQ(fits.exit_code, 0u) << fits.output;
  Report report = read_report(report_path);
  EXPECT_EQ(field(report, L"argc"), L"2");
  EXPECT_TRUE(field(report, L"argv.1") == longest) << "the longest argument arrived cut";
  DeleteFileW(report_path.c_str());

  LaunchResult refused =
      run_launcher(app_launcher(), L"tool " + longest + L"a", L"report=" + report_path);
  EXPECT_EQ(refused.exit_code, 2u);
  EXPECT_EQ(refused.standard_output, "Error, couldn't launch child: command line too long.\r\n");
  EXPECT_EQ(refused.standard_error, "");
  EXPECT_FALSE(path_exists(report_path));
  EXPECT_EQ(leftover_target_directories(refused.process_id), 0);
}
