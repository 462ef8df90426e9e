#include <windows.h>

#include <gtest/gtest.h>

#include "common/environment.h"
#include "common/wide_buffer.h"
#include "tests/support/test_support.h"

TEST(WideBuffer, ExactFitSucceedsAndOneMoreAborts) {
  wchar_t buffer[4] = L"";
  wide_copy(buffer, L"ab", 4);
  wide_append_unit(buffer, L'c', 4);
  EXPECT_STREQ(buffer, L"abc");
  EXPECT_EXIT(wide_append_unit(buffer, L'd', 4), ABORTED, "");
  EXPECT_EXIT(wide_append(buffer, L"d", 4), ABORTED, "");
  EXPECT_EXIT(wide_copy(buffer, L"abcd", 4), ABORTED, "");
}

TEST(WideBuffer, AppendAsciiConvertsEachByteAndChecksRoom) {
  wchar_t buffer[40] = L"x=";
  append_ascii_as_wide(buffer, "4242", 40);
  EXPECT_STREQ(buffer, L"x=4242");
  wchar_t small[3] = L"";
  EXPECT_EXIT(append_ascii_as_wide(small, "123", 3), ABORTED, "");
}

TEST(Environment, MissingAndEmptyGiveNullAValueGivesACopy) {
  SetEnvironmentVariableW(L"VELDOR_ONEFILE_TEST", nullptr);
  EXPECT_EQ(get_env_copy("VELDOR_ONEFILE_TEST"), nullptr);
  set_env_ascii_name("VELDOR_ONEFILE_TEST", L"");
  EXPECT_EQ(get_env_copy("VELDOR_ONEFILE_TEST"), nullptr);
  set_env_ascii_name("VELDOR_ONEFILE_TEST", L"v\u00e4lue");
  wchar_t* copy = get_env_copy("VELDOR_ONEFILE_TEST");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, L"v\u00e4lue");
  free(copy);
  set_env_ascii_name("VELDOR_ONEFILE_TEST", nullptr);
  EXPECT_EQ(GetEnvironmentVariableW(L"VELDOR_ONEFILE_TEST", nullptr, 0), 0u);
}
