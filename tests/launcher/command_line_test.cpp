#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/child_command_line.h"
#include "common/error_reporting.h"
#include "common/launch_state.h"
#include "tests/support/test_support.h"

namespace {

struct QuotingCase {
  const wchar_t* argument;
  const wchar_t* appended;
};

const QuotingCase QUOTING_CASES[] = {
    {L"plain", L"plain"},
    {L"C:\\dir\\file.txt", L"C:\\dir\\file.txt"},
    {L"trailing\\", L"trailing\\"},
    {L"two\\\\", L"two\\\\"},
    {L"a b", L"\"a b\""},
    {L"tab\there", L"\"tab\there\""},
    {L"line\nfeed", L"\"line\nfeed\""},
    {L"vertical\vtab", L"\"vertical\vtab\""},
    {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
    {L"\"", L"\"\\\"\""},
    // Backslashes before a quote: each doubled, and one more for the quote.
    {L"a\\\"b", L"\"a\\\\\\\"b\""},
    {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},
    // Backslashes that no quote follows keep their length, even when quoted.
    {L"x\\ y", L"\"x\\ y\""},
    {L"C:\\a dir\\\\b", L"\"C:\\a dir\\\\b\""},
    // Before the closing quote they are doubled.
    {L"x y\\", L"\"x y\\\\\""},
    {L"x y\\\\", L"\"x y\\\\\\\\\""},
    {L"\x00fc\x20ac\xd834\xdd1e", L"\x00fc\x20ac\xd834\xdd1e"},
    {L"\x00fc \x20ac", L"\"\x00fc \x20ac\""},
    // An empty argument keeps its place.
    {L"", L"\"\""},
};

std::vector<std::wstring> split(const std::wstring& command_line) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(command_line.c_str(), &count);
  std::vector<std::wstring> result(arguments, arguments + count);
  LocalFree(arguments);
  return result;
}

}  // namespace

TEST(ChildCommandLine, EachArgumentIsAppendedQuotedOnlyWhereItNeedsIt) {
  for (const QuotingCase& c : QUOTING_CASES) {
    wcscpy(child_command_line, L"before ");
    append_quoted_argument(c.argument);
    EXPECT_EQ(std::wstring(child_command_line), std::wstring(L"before ") + c.appended)
        << "argument: " << testing::PrintToString(std::wstring(c.argument));
  }
}

TEST(ChildCommandLine, QuotedArgumentsSplitBackUnchanged) {
  std::wstring line = L"program";
  std::vector<std::wstring> expected = {L"program"};
  for (const QuotingCase& c : QUOTING_CASES) {
    child_command_line[0] = L'\0';
    append_quoted_argument(c.argument);
    line += L" ";
    line += child_command_line;
    expected.push_back(c.argument);
  }
  EXPECT_EQ(split(line), expected);
}

TEST(ChildCommandLine, ElementZeroBecomesTheModulePathAndTheRestPassesThrough) {
  wcscpy(module_path, L"C:\\Program Files\\a tool\\tool.exe");
  build_child_command_line();
  std::wstring built = child_command_line;
  EXPECT_EQ(built.rfind(L"\"C:\\Program Files\\a tool\\tool.exe\"", 0), 0u) << built.c_str();
  // The arguments are the runtime's own split of this program's command line.
  std::vector<std::wstring> expected(launcher_argv(), launcher_argv() + launcher_argc());
  expected[0] = module_path;
  EXPECT_EQ(split(built), expected);
}

TEST(ChildCommandLine, FillsWhatTheSystemTakesAndRefusesMoreWithAMessage) {
  const std::string too_long = std::string(MESSAGE_COMMAND_LINE_TOO_LONG) + "\r\n";
  // CreateProcessW takes 32,767 units with the terminator.
  std::wstring longest(32766, L'a');
  child_command_line[0] = L'\0';
  append_quoted_argument(longest.c_str());
  EXPECT_EQ(wcslen(child_command_line), longest.size());
  EXPECT_EXIT_OUTPUT(
      {
        child_command_line[0] = L'\0';
        append_quoted_argument((longest + L"a").c_str());
      },
      testing::ExitedWithCode(2), too_long);
  // With its two quotes, an argument holding a blank fills it at two units
  // less.
  std::wstring quoted = L" " + std::wstring(32766 - 3, L'a');
  child_command_line[0] = L'\0';
  append_quoted_argument(quoted.c_str());
  EXPECT_EQ(wcslen(child_command_line), static_cast<size_t>(32766));
  EXPECT_EXIT_OUTPUT(
      {
        child_command_line[0] = L'\0';
        append_quoted_argument((quoted + L"a").c_str());
      },
      testing::ExitedWithCode(2), too_long);
}
