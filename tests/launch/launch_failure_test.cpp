// Launches that fail: each message on its own stream with its exact bytes,
// the status, and what the failed launch leaves behind.
#include <windows.h>

#include <gtest/gtest.h>
#include <zstd.h>

#include <string>

#include "tests/support/launch_driver.h"
#include "tests/support/test_support.h"

namespace {

const char DECODE_FAILED[] = "Error, couldn't decode attached data.\r\n";

// Where the attached data's frame lies in an executable's bytes.
struct FrameSpan {
  size_t start = 0;
  size_t length = 0;
};

FrameSpan find_frame(const std::string& image) {
  FrameSpan frame;
  size_t block = image.find(std::string("JUX\x28\xb5\x2f\xfd", 7));
  if (block == std::string::npos) return frame;
  frame.start = block + 3;
  size_t length = ZSTD_findFrameCompressedSize(image.data() + frame.start, image.size() - frame.start);
  if (!ZSTD_isError(length)) frame.length = length;
  return frame;
}

}  // namespace

TEST(LaunchFailure, DamagedDataNeverRunsTheApplication) {
  std::string image = read_whole_file(launcher_path(L"app_launcher"));
  FrameSpan frame = find_frame(image);
  ASSERT_NE(frame.length, 0u);
  // Packed with the default settings, which store a checksum.
  ASSERT_TRUE(image[frame.start + 4] & 0x04) << "frame without a checksum";
  struct Case {
    const char* what;
    size_t offset;
    bool files_written;  // the damage shows only after every file was written
  };
  const Case cases[] = {
      {"the frame's first byte", frame.start, false},
      {"its checksum", frame.start + frame.length - 1, true},
  };
  std::wstring scratch = scratch_directory(L"damaged");
  std::wstring copy = scratch + L"\\damaged.exe", report_path = scratch + L"\\report";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = image;
    damaged[c.offset] ^= 0x01;
    write_whole_file(copy, damaged);
    LaunchResult result = run_launcher(copy, L"tool", L"report=" + report_path);
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.standard_output, DECODE_FAILED);
    EXPECT_EQ(result.standard_error, "");
    EXPECT_FALSE(path_exists(report_path)) << "the application ran";
    // A failure leaves what was unpacked; data that fails at its first
    // bytes leaves not even an empty directory.
    EXPECT_EQ(leftover_target_directories(result.process_id), c.files_written ? 1 : 0);
    remove_target_directories(result.process_id);
  }
  DeleteFileW(copy.c_str());
}

TEST(LaunchFailure, DataGoingOnAfterItsTerminatorStartsNoChild) {
  // Its one file is no application library: a child would report that it
  // cannot load it.
  LaunchResult result = run_launcher(launcher_path(L"trailing_launcher"), L"tool", L"");
  EXPECT_EQ(result.exit_code, 2u);
  EXPECT_EQ(result.standard_output, DECODE_FAILED);
  EXPECT_EQ(result.standard_error, "");
  remove_target_directories(result.process_id);
}

TEST(LaunchFailure, ADeviceNameIsRefusedBeforeAnythingIsWritten) {
  LaunchResult result = run_launcher(launcher_path(L"device_name_launcher"), L"tool", L"");
  EXPECT_EQ(result.exit_code, 2u);
  EXPECT_EQ(result.standard_output, "");
  EXPECT_EQ(result.standard_error,
            "Error, attached data holds the unsafe record name 'aux.txt'.\r\n");
  EXPECT_EQ(leftover_target_directories(result.process_id), 0);
}

TEST(LaunchFailure, AFileThatCannotBeCreatedIsNamedWholeInUtf8) {
  LaunchResult result = run_launcher(launcher_path(L"blocked_file_launcher"), L"tool", L"");
  EXPECT_EQ(result.exit_code, 2u);
  EXPECT_EQ(result.standard_output, "");
  std::wstring directory_start = temporary_directory() + L"\\onefile_" +
                                 std::to_wstring(result.process_id) + L"_";
  std::string prefix = "Error, failed to open '" +
                       std::string(directory_start.begin(), directory_start.end());
  std::string suffix =
      "\\donn\xc3\xa9" "es\\\xe6\x97\xa5\xe6\x9c\xac\\a.txt' for writing.\r\n";
  const std::string& line = result.standard_error;
  EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
  ASSERT_GE(line.size(), prefix.size() + suffix.size()) << line;
  EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix) << line;
  // Between them only the time and random values of the directory's name.
  std::string values = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
  EXPECT_EQ(values.size(), 6u + 1 + 11) << values;
  remove_target_directories(result.process_id);
}
