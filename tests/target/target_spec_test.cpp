// The grammar of a spec and the room rules of the output buffer.
#include <gtest/gtest.h>

#include "target/spec_output.h"
#include "tests/support/test_support.h"
#include "tests/target/spec_test_support.h"

namespace {

// Stable values for every placeholder, so that whole outputs can be compared.
class SpecGrammar : public testing::Test {
 protected:
  ScopedVariable parent_{L"VELDOR_ONEFILE_PARENT", L"4242"};
  ScopedVariable random_{L"VELDOR_ONEFILE_RANDOM", L"r4nd0m"};
  ScopedVariable time_us_{L"VELDOR_ONEFILE_TIME_US", L"000004"};
  ScopedVariable start_{L"VELDOR_ONEFILE_START", L"1234"};
  ScopedArgv0 argv0_{L"C:\\dir\\app.exe"};
};

TEST_F(SpecGrammar, NamesMatchWithoutRegardToCase) {
  const wchar_t* const names[] = {L"TEMP", L"PROGRAM", L"PROGRAM_BASE", L"PROGRAM_DIR", L"PID",
                                  L"HOME", L"CACHE_DIR", L"RANDOM", L"TIME_US", L"TIME"};
  for (const wchar_t* name : names) {
    std::wstring upper = name;
    std::wstring lower = upper, mixed = upper;
    for (size_t i = 0; i < upper.size(); ++i) {
      lower[i] = towlower(upper[i]);
      if (i > 0) mixed[i] = lower[i];
    }
    Expansion reference = expand(L"{" + upper + L"}");
    ASSERT_TRUE(reference.succeeded) << upper;
    EXPECT_FALSE(reference.text.empty()) << upper;
    for (const std::wstring& spelling : {lower, mixed}) {
      Expansion other = expand(L"{" + spelling + L"}");
      EXPECT_TRUE(other.succeeded) << spelling;
      EXPECT_EQ(other.text, reference.text) << spelling;
    }
  }
}

struct GrammarCase {
  std::wstring spec;
  bool succeeded;
  std::wstring text;
};

TEST_F(SpecGrammar, CornerCases) {
  const std::wstring long_name(5000, L'A');
  const GrammarCase cases[] = {
      {L"", true, L""},
      {L"plain\\text", true, L"plain\\text"},
      {L"x-{PID}-y", true, L"x-4242-y"},
      {L"{PID}{RANDOM}", true, L"4242r4nd0m"},
      {L"{a{PID}", true, L"4242"},
      {L"{a\\b {PID}x", true, L"4242x"},
      // A name still open at the end is dropped.
      {L"x{PID", true, L"x"},
      {L"abc{TEMP", true, L"abc"},
      {L"x{", true, L"x"},
      // Unknown names fail and leave the result so far.
      {L"{}", false, L""},
      {L"{NOPE}", false, L""},
      {L"ab{NOPE}cd", false, L"ab"},
      {L"{ PID}", false, L""},
      {L"{PID }", false, L""},
      {L"{PIDX}", false, L""},
      // A "}" outside a name is an ordinary character.
      {L"a}b", true, L"a}b"},
      {L"{PID}}", true, L"4242}"},
      {L"}", true, L"}"},
      // Names longer than the name buffer neither overflow nor match.
      {L"{" + std::wstring(1023, L'A') + L"}", false, L""},
      {L"{" + std::wstring(1024, L'A') + L"}", false, L""},
      {L"q{" + long_name + L"}", false, L"q"},
      {L"x{" + long_name, true, L"x"},
      {L"{" + long_name + L"{PID}", true, L"4242"},
  };
  for (const GrammarCase& c : cases) {
    Expansion result = expand(c.spec);
    std::wstring shown = c.spec.substr(0, 40);
    EXPECT_EQ(result.succeeded, c.succeeded) << shown;
    EXPECT_EQ(result.text, c.text) << shown;
  }
}

TEST_F(SpecGrammar, EarlierContentOfTheOutputIsDiscarded) {
  wchar_t buffer[16] = L"old content";
  EXPECT_TRUE(expand_target_spec(buffer, L"", 16));
  EXPECT_STREQ(buffer, L"");
  wcscpy(buffer, L"old content");
  EXPECT_TRUE(expand_target_spec(buffer, L"{PID}", 16));
  EXPECT_STREQ(buffer, L"4242");
}

struct RoomCase {
  std::wstring spec;
  size_t capacity;
  bool succeeded;
  std::wstring text;
};

// The capacity counts the terminator: "abc" needs 4 units.
TEST_F(SpecGrammar, LiteralsThatFindNoRoomFail) {
  const RoomCase cases[] = {
      {L"abc", 4, true, L"abc"},
      {L"abc", 3, false, L"ab"},
      {L"abc", 1, false, L""},
      {L"{PID}x", 6, true, L"4242x"},
      {L"{PID}x", 5, false, L"4242"},
  };
  for (const RoomCase& c : cases) {
    Expansion result = expand(c.spec, c.capacity);
    EXPECT_EQ(result.succeeded, c.succeeded) << c.spec << " in " << c.capacity;
    EXPECT_EQ(result.text, c.text) << c.spec << " in " << c.capacity;
  }
}

TEST_F(SpecGrammar, ValuesThatFindNoRoomAbort) {
  const std::wstring temp = temporary_directory();
  // The platform writes TEMP with its final backslash, which then goes.
  const size_t temp_units = temp.size() + 1;
  const RoomCase fitting[] = {
      {L"x{PID}", 6, true, L"x4242"},
      {L"x{RANDOM}", 8, true, L"xr4nd0m"},
      {L"{TIME_US}", 7, true, L"000004"},
      {L"{PROGRAM}", 15, true, L"C:\\dir\\app.exe"},
      // The derived values need room for the whole of PROGRAM first.
      {L"a{PROGRAM_DIR}", 16, true, L"aC:\\dir"},
      {L"{TEMP}", temp_units + 1, true, temp},
  };
  for (const RoomCase& c : fitting) {
    Expansion result = expand(c.spec, c.capacity);
    EXPECT_TRUE(result.succeeded) << c.spec;
    EXPECT_EQ(result.text, c.text) << c.spec;
    EXPECT_EXIT(expand(c.spec, c.capacity - 1), ABORTED, "") << c.spec;
  }
  EXPECT_EXIT(expand(L"", 0), ABORTED, "");
}

TEST(SpecOutput, TrailingBackslashesGoUpToTheFirstOtherCharacter) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\Temp\\", L"C:\\Temp"},
      {L"C:\\Temp\\\\\\", L"C:\\Temp"},
      {L"a\\b", L"a\\b"},
      {L"\\\\\\", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    std::wstring buffer = c.first + L'\0';
    spec_output output = {&buffer[0], buffer.size(), c.first.size()};
    remove_trailing_backslashes(&output);
    EXPECT_EQ(std::wstring(buffer.c_str()), c.second) << c.first;
    EXPECT_EQ(output.used, c.second.size()) << c.first;
  }
}

}  // namespace
