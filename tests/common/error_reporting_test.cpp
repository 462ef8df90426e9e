#include <windows.h>

#include <gtest/gtest.h>

#include "common/error_reporting.h"
#include "tests/support/test_support.h"

TEST(ErrorReporting, SystemErrorLineDropsTheTextsTrailingLineBreak) {
  // The system's text for ERROR_FILE_NOT_FOUND ends with a line break of its
  // own; the line must end right after the closing parenthesis.
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                     FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, ERROR_FILE_NOT_FOUND, 0x409, reinterpret_cast<char*>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  std::string trimmed(text);
  ASSERT_EQ(trimmed.back(), '\n');
  while (trimmed.back() == '\n' || trimmed.back() == '\r') trimmed.pop_back();
  EXPECT_EXIT_OUTPUT(fail_with_system_error(MESSAGE_LOAD_DLL_FAILED, ERROR_FILE_NOT_FOUND),
                     testing::ExitedWithCode(2),
                     "Error, load DLL. ([Error 2] " + trimmed + ")\r\n");
}

TEST(ErrorReporting, CodesOfTwoToTheThirtyFirstAndMorePrintNegative) {
  EXPECT_EXIT_OUTPUT(print_error_with_code(MESSAGE_LAUNCH_FAILED, 0xFFFFFFFFu); exit(2),
                     testing::ExitedWithCode(2),
                     "Error, couldn't launch child ([Error -1] " UNKNOWN_SYSTEM_ERROR_TEXT ")\r\n");
}

TEST(ErrorReporting, CodeWithoutSystemTextStillGivesOneLine) {
  EXPECT_EXIT_OUTPUT(fail_with_system_error(MESSAGE_UNPACK_FAILED, 0x2FFFFFFFu),
                     testing::ExitedWithCode(2),
                     "Error, couldn't unpack file to target path. ([Error 805306367] "
                     UNKNOWN_SYSTEM_ERROR_TEXT ")\r\n");
}

TEST(ErrorReporting, PlainMessagesGoToOutputAndPathMessagesToError) {
  EXPECT_EXIT_STREAMS(fail_with_message(MESSAGE_DECODE_FAILED), testing::ExitedWithCode(2),
                      "Error, couldn't decode attached data.\r\n", "");
  EXPECT_EXIT_STREAMS(fail_with_path(MESSAGE_OPEN_FOR_WRITING_FAILED, L"C:\\t\\a b.dll"),
                      testing::ExitedWithCode(2), "",
                      "Error, failed to open 'C:\\t\\a b.dll' for writing.\r\n");
}

TEST(ErrorReporting, APathReachesTheStreamWholeOnOneLine) {
  // Beyond any one code page, and with characters that would break the line
  // or that no stream shows: UTF-8 when the stream is no console, escapes
  // for control characters and for a lone half of a surrogate pair.
  const wchar_t* path = L"C:\\donn\x00e9" L"es\\\x65e5\x672c\\\xd83d\xde00\\a\nb\tc\x0085\xdc00.txt";
  const std::string shown =
      "C:\\donn\xc3\xa9" "es\\\xe6\x97\xa5\xe6\x9c\xac\\\xf0\x9f\x98\x80\\a\\x0ab\\x09c\\x85"
      "\\udc00.txt";
  EXPECT_EXIT_STREAMS(fail_with_path(MESSAGE_UNSAFE_RECORD_NAME, path), testing::ExitedWithCode(2),
                      "", "Error, attached data holds the unsafe record name '" + shown + "'.\r\n");
  EXPECT_EXIT_STREAMS(
      fail_with_path_and_system_error(MESSAGE_TARGET_DIRECTORY_FAILED, path, ERROR_ALREADY_EXISTS),
      testing::ExitedWithCode(2), "",
      "Error, couldn't create target directory '" + shown + "'. ([Error 183] " +
          system_error_text(ERROR_ALREADY_EXISTS) + ")\r\n");
}

TEST(ErrorReporting, StandardErrorLineIsCompleteBeforeAbort) {
  EXPECT_EXIT_STREAMS(print_path_message(MESSAGE_SPEC_EXPANSION_FAILED, L"{HOME}"); abort(),
                      ABORTED, "", "Error, couldn't runtime expand spec '{HOME}'.\r\n");
}
