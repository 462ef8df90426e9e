#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "launcher/role_decision.h"
#include "tests/support/launch_driver.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_support.h"

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The NAME=VALUE lines and "file NAME SIZE HASH" lines the report app prints.
struct TreeReport {
  std::map<std::string, std::string> values;
  std::map<std::string, std::string> files;  // name -> "size hash"
};

TreeReport parse_report(const std::string& output) {
  TreeReport report;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 5, "file ") == 0) {
      size_t name_end = line.find(' ', 5);
      report.files[line.substr(5, name_end - 5)] = line.substr(name_end + 1);
    } else if (line.find('=') != std::string::npos && line.find(' ') == std::string::npos) {
      report.values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
  }
  return report;
}

std::string fnv1a(const std::string& content) {
  unsigned long long hash = 1469598103934665603ull;
  for (unsigned char byte : content) hash = (hash ^ byte) * 1099511628211ull;
  char text[40];
  snprintf(text, sizeof text, "%zu %016llx", content.size(), hash);
  return text;
}

}  // namespace

TEST(ParseDecimalWide, AcceptsWhatWcstolTakesWholeAndNothingElse) {
  const struct {
    const wchar_t* text;
    bool accepted;
    long value;
  } cases[] = {
      {L"42", true, 42},          {L"0042", true, 42},       {L" 42", true, 42},
      {L"+7", true, 7},           {L"-3", true, -3},         {L"2147483647", true, 2147483647},
      {L"42a", false, 0},         {L"42 ", false, 0},        {L"", false, 0},
      {L"abc", false, 0},         {L"2147483648", false, 0}, {L"-2147483649", false, 0},
  };
  for (const auto& c : cases) {
    long value = 0;
    EXPECT_EQ(parse_decimal_wide(c.text, &value), c.accepted) << narrow(c.text);
    if (c.accepted) EXPECT_EQ(value, c.value) << narrow(c.text);
  }
}

TEST(Bootstrap, UnpacksTheWholeTreeIntoTheTargetDirectoryTheChildComputesAlike) {
  ProgramRun run = run_program(L"\"" + sibling_program(L"tree_launcher.exe") + L"\"");
  ASSERT_EQ(run.exit_code, 0u) << run.output;
  EXPECT_EQ(run.standard_error, "");
  TreeReport report = parse_report(run.standard_output);
  // The child found its library where the parent's spec put the tree:
  // the temporary directory, the parent's id and the values it pinned.
  std::string expected_directory = narrow(temporary_directory()) + "\\onefile_" +
                                   std::to_string(run.process_id) + "_" +
                                   report.values["VELDOR_ONEFILE_TIME_US"] + "_" +
                                   report.values["VELDOR_ONEFILE_RANDOM"];
  EXPECT_EQ(report.values["library"], expected_directory + "\\app.dll");
  EXPECT_EQ(report.values["VELDOR_ONEFILE_PARENT"], std::to_string(run.process_id));
  EXPECT_EQ(report.values["VELDOR_ONEFILE_TIME_US"].size(), 6u);
  EXPECT_EQ(report.values["VELDOR_ONEFILE_RANDOM"].size(), 11u);

  // Byte for byte the packed tree, and nothing else.
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 300; ++i) {
    std::string name = "d" + std::to_string(i % 7) + "\\s" + std::to_string(i % 3) + "\\f" +
                       std::to_string(i) + ".bin";
    std::wstring fixture = L"..\\fixtures\\tree\\" + std::wstring(name.begin(), name.end());
    expected[name] = fnv1a(read_test_data(fixture.c_str()));
  }
  std::string library = read_test_data(L"tree_report_app.dll");
  expected["app.dll"] = fnv1a(library);
  EXPECT_EQ(report.files, expected);
}

TEST(Bootstrap, AParentVariableThatNamesNoLiveSameProgramMakesAParent) {
  // A process that surely ended: one we started and waited for.
  ProgramRun ended = run_program(L"cmd /c exit 0");
  const std::wstring values[] = {
      L"", L"abc", L"42a", L"99999999999", L"-1",
      std::to_wstring(ended.process_id),
      std::to_wstring(GetCurrentProcessId()),  // alive, but another program
  };
  for (const std::wstring& value : values) {
    ProgramRun run = run_program(L"\"" + sibling_program(L"tree_launcher.exe") + L"\"",
                                 {L"VELDOR_ONEFILE_PARENT=" + value});
    EXPECT_EQ(run.exit_code, 0u) << narrow(value) << run.output;
    // As a parent it set the variable to its own id before starting the child.
    EXPECT_EQ(parse_report(run.standard_output).values["VELDOR_ONEFILE_PARENT"],
              std::to_string(run.process_id))
        << narrow(value);
  }
}

TEST(Bootstrap, AWrongMagicStopsBeforeAnythingIsWritten) {
  ProgramRun run = run_program(L"\"" + sibling_program(L"bad_magic_launcher.exe") + L"\"");
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.standard_output, "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(leftover_target_directories(run.process_id), 0);
}

TEST(Bootstrap, AnArchiveWithoutApplicationEndsTheChildWithAMessageAndCleansUp) {
  ProgramRun run = run_program(L"\"" + sibling_program(L"empty_launcher.exe") + L"\"");
  // The parent unpacks nothing and starts the child, which has nothing to
  // run; the parent passes its status on and removes the empty directory.
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.standard_output, "Error, attached data holds no application library.\r\n");
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(leftover_target_directories(run.process_id), 0);
}
