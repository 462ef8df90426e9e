// Helpers shared by the Windows-side tests.
#pragma once

#include <string>

// The directory that holds the running test program, where the build puts
// the test data.
std::wstring test_program_directory();
// The whole content of a file in that directory; fails the test when absent.
std::string read_test_data(const wchar_t* name);
// The whole content of any file, or "<missing>" when it cannot be opened.
std::string read_whole_file(const std::wstring& path);

// Runs statement in a death-test child whose standard output and error both
// go to one file, then checks the child's exit code and the exact text it
// wrote (in text mode, so each line feed arrives as CR LF).
void redirect_output_to_capture(const wchar_t* path);
std::string read_and_remove_capture(const wchar_t* path);
std::wstring capture_path();

#define EXPECT_EXIT_OUTPUT(statement, predicate, expected)                        \
  do {                                                                           \
    std::wstring capture_file_ = capture_path();                                 \
    EXPECT_EXIT({ redirect_output_to_capture(capture_file_.c_str()); statement; }, \
                predicate, "");                                                  \
    EXPECT_EQ(read_and_remove_capture(capture_file_.c_str()), expected);         \
  } while (0)

// As EXPECT_EXIT_OUTPUT, with standard output and standard error captured
// apart, each checked for its exact text.
void redirect_streams_to_captures(const wchar_t* output_path, const wchar_t* error_path);

#define EXPECT_EXIT_STREAMS(statement, predicate, expected_output, expected_error)      \
  do {                                                                                \
    std::wstring output_file_ = capture_path();                                       \
    std::wstring error_file_ = capture_path();                                        \
    EXPECT_EXIT({ redirect_streams_to_captures(output_file_.c_str(), error_file_.c_str()); \
                  statement; },                                                       \
                predicate, "");                                                       \
    EXPECT_EQ(read_and_remove_capture(output_file_.c_str()), expected_output);        \
    EXPECT_EQ(read_and_remove_capture(error_file_.c_str()), expected_error);          \
  } while (0)

// The exit code that abort() leaves.
#define ABORTED testing::ExitedWithCode(3)

// The system's text for an error code, without its trailing line break, as
// the launcher's error lines show it.
std::string system_error_text(unsigned long code);

// A directory path under the temporary directory, named after the running
// test so that a death-test child computes the same one; anything left
// there by an earlier run is removed.
std::wstring fresh_test_directory(const wchar_t* tag);
void remove_tree(const std::wstring& path);
// As fresh_test_directory, and made.
std::wstring scratch_directory(const wchar_t* tag);
// The temporary directory, without its trailing backslash.
std::wstring temporary_directory();

bool path_exists(const std::wstring& path);
bool is_directory(const std::wstring& path);
// Writes content to path, replacing any file there; a file that cannot be
// created fails the running test.
void write_whole_file(const std::wstring& path, const std::string& content);
