// RANDOM, TIME_US and TIME: their computation and their pinning in the
// environment, and the built-in spec that depends on it.
#include <windows.h>

#include <gtest/gtest.h>

#include "target/random_text_testing.h"
#include "target/time_values_testing.h"
#include "tests/support/test_support.h"
#include "tests/target/spec_test_support.h"

namespace {

const std::wstring ALPHABET = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::wstring random_text_for_seed(uint32_t seed) {
  unsigned char bytes[RANDOM_BYTE_COUNT];
  random_bytes_from_seed(seed, bytes);
  wchar_t text[RANDOM_TEXT_CAPACITY];
  encode_random_text(bytes, text);
  return text;
}

void expect_random_text_form(const std::wstring& text) {
  ASSERT_EQ(text.size(), 11u) << text;
  for (wchar_t unit : text) EXPECT_NE(ALPHABET.find(unit), std::wstring::npos) << text;
  // The last character holds only four bits.
  EXPECT_EQ(ALPHABET.find(text.back()) % 4, 0u) << text;
}

bool all_digits(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t unit : text) {
    if (unit < L'0' || unit > L'9') return false;
  }
  return true;
}

TEST(RandomText, SeedOneAndSeedZeroGiveTheKnownVector) {
  const unsigned char expected[RANDOM_BYTE_COUNT] = {0x21, 0x01, 0xC5, 0x4F,
                                                     0xD1, 0xD0, 0x1A, 0xB2};
  for (uint32_t seed : {1u, 0u}) {
    unsigned char bytes[RANDOM_BYTE_COUNT];
    random_bytes_from_seed(seed, bytes);
    for (int i = 0; i < RANDOM_BYTE_COUNT; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
    EXPECT_EQ(random_text_for_seed(seed), L"IQHFT9HQGrI");
  }
}

TEST(RandomText, EncodingUsesTheUrlSafeAlphabetWithoutPadding) {
  const std::pair<unsigned char, std::wstring> cases[] = {
      {0x00, L"AAAAAAAAAAA"},
      {0xFF, L"__________8"},
      {0xFB, L"-_v7-_v7-_s"},
  };
  for (const auto& c : cases) {
    unsigned char bytes[RANDOM_BYTE_COUNT];
    for (unsigned char& byte : bytes) byte = c.first;
    wchar_t text[RANDOM_TEXT_CAPACITY];
    encode_random_text(bytes, text);
    EXPECT_EQ(std::wstring(text), c.second);
  }
  for (uint32_t seed = 2; seed < 2000; seed += 7) expect_random_text_form(random_text_for_seed(seed));
}

TEST(TimeUs, IsTheMicrosecondsWithinTheSecondInSixDigits) {
  const int64_t second = 10000000;  // 100-nanosecond intervals
  const std::pair<int64_t, const char*> cases[] = {
      {40, "000004"},
      {133000000000000000LL + 40, "000004"},
      {133000000000000000LL + 49, "000004"},
      {5, "000000"},
      {second - 1, "999999"},
      {123456789, "345678"},
      {7 * second, "000000"},
  };
  for (const auto& c : cases) {
    char text[DECIMAL_TEXT_CAPACITY];
    format_microseconds_within_second(c.first, text);
    EXPECT_STREQ(text, c.second) << c.first;
  }
}

struct PinnedCase {
  const wchar_t* placeholder;
  const wchar_t* variable;
};

const PinnedCase PINNED[] = {
    {L"{RANDOM}", L"VELDOR_ONEFILE_RANDOM"},
    {L"{TIME_US}", L"VELDOR_ONEFILE_TIME_US"},
    {L"{TIME}", L"VELDOR_ONEFILE_START"},
};

TEST(PinnedValues, ASetValueIsUsedUnchangedAndNotRewritten) {
  for (const PinnedCase& c : PINNED) {
    ScopedVariable pinned(c.variable, L"C:\\not\\a {NUMBER}");
    Expansion result = expand(c.placeholder);
    EXPECT_TRUE(result.succeeded) << c.placeholder;
    EXPECT_EQ(result.text, L"C:\\not\\a {NUMBER}") << c.placeholder;
    EXPECT_EQ(variable_value(c.variable), L"C:\\not\\a {NUMBER}") << c.placeholder;
  }
}

TEST(PinnedValues, AMissingOrEmptyValueIsComputedAndPinned) {
  for (const wchar_t* initial : {static_cast<const wchar_t*>(nullptr), L""}) {
    for (const PinnedCase& c : PINNED) {
      ScopedVariable pinned(c.variable, initial);
      Expansion first = expand(c.placeholder);
      EXPECT_TRUE(first.succeeded) << c.placeholder;
      EXPECT_EQ(variable_value(c.variable), first.text) << c.placeholder;
      EXPECT_EQ(expand(c.placeholder).text, first.text) << c.placeholder;
    }
  }
}

TEST(PinnedValues, ComputedValuesHaveTheirForm) {
  ScopedVariable random(L"VELDOR_ONEFILE_RANDOM", nullptr);
  ScopedVariable time_us(L"VELDOR_ONEFILE_TIME_US", nullptr);
  ScopedVariable start(L"VELDOR_ONEFILE_START", nullptr);
  expect_random_text_form(expand(L"{RANDOM}").text);
  std::wstring microseconds = expand(L"{TIME_US}").text;
  EXPECT_EQ(microseconds.size(), 6u);
  EXPECT_TRUE(all_digits(microseconds)) << microseconds;
  std::wstring time = expand(L"{TIME}").text;
  EXPECT_TRUE(all_digits(time)) << time;
  EXPECT_NE(time[0], L'0');
  // 100-nanosecond intervals since 1601 run to 18 digits in this century.
  EXPECT_EQ(time.size(), 18u) << time;
}

// The child inherits the parent's environment and must name the parent's
// directory: with the pins in place a second expansion gives the first.
TEST(BuiltInSpec, ExpandsAlikeOnceThePinsAreInPlace) {
  const std::wstring own = std::to_wstring(GetCurrentProcessId());
  ScopedVariable parent(L"VELDOR_ONEFILE_PARENT", own.c_str());
  ScopedVariable random(L"VELDOR_ONEFILE_RANDOM", nullptr);
  ScopedVariable time_us(L"VELDOR_ONEFILE_TIME_US", nullptr);
  ScopedVariable start(L"VELDOR_ONEFILE_START", nullptr);

  Expansion parent_view = expand(TARGET_SPEC);
  ASSERT_TRUE(parent_view.succeeded);
  const std::wstring prefix = temporary_directory() + L"\\onefile_" + own + L"_";
  ASSERT_EQ(parent_view.text.substr(0, prefix.size()), prefix);
  std::wstring rest = parent_view.text.substr(prefix.size());
  ASSERT_EQ(rest.size(), 6u + 1u + 11u) << rest;
  EXPECT_EQ(rest.substr(0, 6), variable_value(L"VELDOR_ONEFILE_TIME_US"));
  EXPECT_EQ(rest[6], L'_');
  EXPECT_EQ(rest.substr(7), variable_value(L"VELDOR_ONEFILE_RANDOM"));
  expect_random_text_form(rest.substr(7));
  // TIME is not part of the spec, so it is not pinned either.
  EXPECT_FALSE(variable_exists(L"VELDOR_ONEFILE_START"));

  Expansion child_view = expand(TARGET_SPEC);
  EXPECT_TRUE(child_view.succeeded);
  EXPECT_EQ(child_view.text, parent_view.text);
}

}  // namespace
