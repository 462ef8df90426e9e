#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tree_deletion.h"
#include "tests/support/unix_links.h"

namespace {

TreeDeletion walk;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring extended(const std::wstring& path) { return L"\\\\?\\" + path; }

bool exists(const std::wstring& path) {
  return GetFileAttributesW(extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void write_file(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file = CreateFileW(extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            attributes, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << narrow(path) << " error " << GetLastError();
  DWORD written = 0;
  WriteFile(file, "content", 7, &written, nullptr);
  CloseHandle(file);
}

void make_directory(const std::wstring& path) {
  ASSERT_TRUE(CreateDirectoryW(extended(path).c_str(), nullptr))
      << narrow(path) << " error " << GetLastError();
}

// Not yet made, in a fresh directory of its own.
std::wstring fresh_root(const wchar_t* tag) {
  return fresh_link_scratch_directory((std::wstring(L"tree_deletion_") + tag).c_str()) +
         L"\\tree";
}

}  // namespace

TEST(TreeDeletion, ExtendedPathsKeepTheirFormAndLoseATrailingBackslash) {
  const struct {
    const wchar_t* path;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\Temp\\onefile_1", L"\\\\?\\C:\\Temp\\onefile_1"},
      {L"C:\\Temp\\dir\\\\", L"\\\\?\\C:\\Temp\\dir"},
      {L"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir"},
      {L"\\\\?\\D:\\x", L"\\\\?\\D:\\x"},
      {L"relative\\dir", L""},
      {L"C:relative", L""},
  };
  for (const auto& c : cases) {
    wchar_t result[64] = L"unchanged";
    bool made = make_extended_path(result, c.path, 64);
    EXPECT_EQ(made, c.expected[0] != L'\0') << narrow(c.path);
    EXPECT_STREQ(result, c.expected) << narrow(c.path);
  }
  wchar_t small[8];
  EXPECT_FALSE(make_extended_path(small, L"C:\\Temp\\x", 8));
}

TEST(TreeDeletion, DeletesReadOnlyEntriesAndPathsFarBeyondTheClassicLimit) {
  std::wstring root = fresh_root(L"whole");
  make_directory(root);
  make_directory(root + L"\\read_only_directory");
  write_file(root + L"\\read_only_directory\\read_only.txt", FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(extended(root + L"\\read_only_directory").c_str(), FILE_ATTRIBUTE_READONLY);
  // Record paths of about 300 and 1,000 units, in components of 200.
  std::wstring deep = root;
  std::vector<std::wstring> long_files;
  for (int level = 0; level < 5; ++level) {
    deep += L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + level));
    make_directory(deep);
    long_files.push_back(deep + L"\\file.bin");
    write_file(long_files.back());
  }
  ASSERT_GT(long_files[1].size(), 300u);
  ASSERT_GT(long_files.back().size(), 1000u);

  EXPECT_TRUE(delete_tree(root.c_str(), &walk));
  EXPECT_FALSE(exists(root));
}

TEST(TreeDeletion, AFileHeldOpenStaysWithTheDirectoriesAboveItOnly) {
  std::wstring root = fresh_root(L"held");
  make_directory(root);
  make_directory(root + L"\\sub");
  make_directory(root + L"\\sub\\deeper");
  make_directory(root + L"\\other");
  for (const wchar_t* name : {L"\\a.txt", L"\\sub\\b.txt", L"\\sub\\deeper\\c.txt",
                              L"\\sub\\deeper\\held.txt", L"\\other\\d.txt"}) {
    write_file(root + name);
  }
  // Without delete sharing, as a running program holds its files.
  HANDLE held = CreateFileW((root + L"\\sub\\deeper\\held.txt").c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(delete_tree(root.c_str(), &walk));
  EXPECT_TRUE(exists(root + L"\\sub\\deeper\\held.txt"));
  for (const wchar_t* gone : {L"\\a.txt", L"\\sub\\b.txt", L"\\sub\\deeper\\c.txt", L"\\other"}) {
    EXPECT_FALSE(exists(root + gone)) << narrow(gone);
  }
  CloseHandle(held);
  EXPECT_TRUE(delete_tree(root.c_str(), &walk));
}

TEST(TreeDeletion, AStopOrAPassedDeadlineEndsTheWalkBeforeItDeletes) {
  std::wstring root = fresh_root(L"stop");
  make_directory(root);
  write_file(root + L"\\a.txt");
  walk.stop_requested = 1;
  EXPECT_FALSE(delete_tree(root.c_str(), &walk));
  walk.stop_requested = 0;
  walk.deadline_tick = 1;
  EXPECT_FALSE(delete_tree(root.c_str(), &walk));
  walk.deadline_tick = 0;
  EXPECT_TRUE(exists(root + L"\\a.txt"));
  EXPECT_TRUE(delete_tree(root.c_str(), &walk));
}

// Links inside the tree point to a directory beside it: the deletion takes
// the links at most, never anything they point to. Under Wine the links
// themselves stay (Wine removes no Unix link through Win32 calls); on
// Windows they go with the tree.
TEST(TreeDeletion, LinksInsideTheTreeAreNeverFollowed) {
  std::wstring root = fresh_root(L"links");
  std::wstring outside = fresh_link_scratch_directory(L"tree_deletion_links_outside");
  make_directory(outside + L"\\inner");
  write_file(outside + L"\\keep.txt");
  write_file(outside + L"\\inner\\keep_too.txt");
  make_directory(root);
  make_directory(root + L"\\sub");
  write_file(root + L"\\a.txt");
  write_file(root + L"\\sub\\b.txt");
  ASSERT_TRUE(make_unix_symlink(outside, root + L"\\directory_link"));
  ASSERT_TRUE(make_unix_symlink(outside + L"\\inner", root + L"\\sub\\inner_link"));
  ASSERT_TRUE(make_unix_symlink(outside + L"\\keep.txt", root + L"\\file_link"));
  ASSERT_TRUE(make_unix_symlink(outside + L"\\inner\\keep_too.txt", root + L"\\sub\\keep_too.txt"));

  delete_tree(root.c_str(), &walk);
  EXPECT_TRUE(exists(outside + L"\\keep.txt"));
  EXPECT_TRUE(exists(outside + L"\\inner\\keep_too.txt"));
  EXPECT_FALSE(exists(root + L"\\a.txt"));
  EXPECT_FALSE(exists(root + L"\\sub\\b.txt"));
  remove_unix_tree(root);
  remove_unix_tree(outside);
}
