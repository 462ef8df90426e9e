// Canonical forms of executable paths: the final path without its prefix,
// and the short directory part.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "target/path_canonical.h"
#include "target/short_directory.h"
#include "tests/support/test_support.h"

namespace {

std::wstring short_form(const std::wstring& path) {
  wchar_t buffer[4096];
  DWORD length = GetShortPathNameW(path.c_str(), buffer, 4096);
  EXPECT_GT(length, 0u) << "no short form of the test path (error " << GetLastError() << ")";
  return std::wstring(buffer, length);
}

std::wstring canonicalized(const std::wstring& path, size_t capacity = 4096) {
  std::wstring buffer = path;
  buffer.resize(capacity, L'\0');
  canonicalize_path(&buffer[0], capacity);
  return buffer.c_str();
}

std::wstring shortened(const std::wstring& path, size_t capacity = 4096) {
  std::wstring buffer = path;
  buffer.resize(capacity, L'\0');
  shorten_directory_part(&buffer[0], capacity);
  return buffer.c_str();
}

std::wstring both(const std::wstring& path) { return shortened(canonicalized(path)); }

bool starts_with(const std::wstring& text, const std::wstring& start) {
  return text.compare(0, start.size(), start) == 0;
}

// A directory with a long name that holds a blank, and in it a file whose
// name is longer than 8.3: each needs a short name of its own. A death-test
// child runs this again while its parent waits, and ends without tearing
// down, so both take the same directory as they find it.
class CanonicalPath : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = temporary_directory() + L"\\Long Directory Name";
    file_ = directory_ + L"\\my application.exe";
    ASSERT_TRUE(CreateDirectoryW(directory_.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS)
        << GetLastError();
    HANDLE file = CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
  }
  void TearDown() override {
    DeleteFileW(file_.c_str());
    RemoveDirectoryW(directory_.c_str());
  }

  std::wstring directory_;
  std::wstring file_;
};

TEST(FinalPathPrefix, IsStrippedBeforeADriveAndFromNetworkPaths) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"\\\\?\\C:\\Apps\\app.exe", L"C:\\Apps\\app.exe"},
      {L"\\\\?\\C:", L"C:"},
      {L"\\\\?\\UNC\\server\\share\\app.exe", L"\\\\server\\share\\app.exe"},
      {L"\\\\?\\UNC\\", L"\\\\"},
      // Volume names and other forms have no spelling without the prefix.
      {L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\app.exe",
       L"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\app.exe"},
      {L"\\\\?\\UNCX\\server", L"\\\\?\\UNCX\\server"},
      {L"\\\\?\\", L"\\\\?\\"},
      {L"\\\\?\\C", L"\\\\?\\C"},
      {L"C:\\Apps\\app.exe", L"C:\\Apps\\app.exe"},
      {L"\\\\server\\share\\app.exe", L"\\\\server\\share\\app.exe"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    std::wstring buffer = c.first;
    strip_final_path_prefix(&buffer[0]);
    EXPECT_EQ(std::wstring(buffer.c_str()), c.second) << c.first;
  }
}

TEST_F(CanonicalPath, APathWhoseFileIsMissingStaysUnchanged) {
  const std::wstring cases[] = {
      directory_ + L"\\missing.exe",
      L"\\\\?\\" + directory_ + L"\\missing.exe",
      L"\\\\?\\UNC\\no-such-server\\share\\missing.exe",
      // A directory is no file that this open accepts.
      L"\\\\?\\" + directory_,
  };
  for (const std::wstring& path : cases) EXPECT_EQ(canonicalized(path), path);
}

TEST_F(CanonicalPath, AnExistingFileLosesThePrefix) {
  std::wstring plain = canonicalized(file_);
  EXPECT_FALSE(starts_with(plain, L"\\\\?\\")) << plain;
  EXPECT_NE(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES) << plain;
  EXPECT_EQ(canonicalized(L"\\\\?\\" + file_), plain);
  EXPECT_EQ(plain.substr(plain.size() - 19), L"\\my application.exe");
}

// The final path arrives with its prefix, so the buffer needs room for that
// too even when the stripped path is shorter.
TEST_F(CanonicalPath, AFinalPathThatDoesNotFitAborts) {
  std::wstring plain = canonicalized(file_);
  const size_t prefixed_units = plain.size() + 4 + 1;
  EXPECT_EQ(canonicalized(plain, prefixed_units), plain);
  EXPECT_EXIT(canonicalized(plain, prefixed_units - 1), ABORTED, "");
}

TEST_F(CanonicalPath, ShortAndLongSpellingsOfOneFileComeOutEqual) {
  std::wstring short_spelling = short_form(file_);
  ASSERT_NE(short_spelling, file_) << "the platform gave the test directory no short name";
  std::wstring from_long = both(file_);
  EXPECT_EQ(both(short_spelling), from_long);
  EXPECT_EQ(both(L"\\\\?\\" + file_), from_long);
  // Only the directory part is shortened.
  EXPECT_EQ(from_long, short_form(directory_) + L"\\my application.exe");
}

TEST_F(CanonicalPath, ShorteningKeepsTheLastComponentAndADirectoryWithoutShortForm) {
  const std::wstring short_directory = short_form(directory_);
  const std::pair<std::wstring, std::wstring> cases[] = {
      {file_, short_directory + L"\\my application.exe"},
      {directory_ + L"\\a name that does not exist.exe",
       short_directory + L"\\a name that does not exist.exe"},
      {directory_ + L"\\", short_directory + L"\\"},
      {directory_, short_form(temporary_directory()) + directory_.substr(directory_.rfind(L'\\'))},
      {directory_ + L"\\no such directory\\my application.exe",
       directory_ + L"\\no such directory\\my application.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(shortened(c.first), c.second) << c.first;
}

TEST_F(CanonicalPath, APathWithoutBackslashIsShortenedWhole) {
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(directory_.c_str()));
  EXPECT_EQ(shortened(L"my application.exe"), short_form(L"my application.exe"));
  EXPECT_NE(shortened(L"my application.exe"), L"my application.exe");
  EXPECT_EQ(shortened(L"missing name.exe"), L"missing name.exe");
  SetCurrentDirectoryW(saved);
}

// A short name can be longer than the long one ("a b" has one of 8
// characters), so a path that fits can come out too long.
TEST(ShortenDirectoryPart, AShortFormThatDoesNotFitAborts) {
  // A base name that is its own short form.
  const std::wstring base = temporary_directory() + L"\\SHORTEN";
  const std::wstring directory = base + L"\\a b";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW(directory.c_str(), nullptr);
  const std::wstring path = directory + L"\\x";
  const std::wstring expected = short_form(directory) + L"\\x";
  ASSERT_GT(expected.size(), path.size()) << expected;
  EXPECT_EQ(shortened(path, expected.size() + 1), expected);
  EXPECT_EXIT(shortened(path, path.size() + 1), ABORTED, "");
  RemoveDirectoryW(directory.c_str());
  RemoveDirectoryW(base.c_str());
}

}  // namespace
