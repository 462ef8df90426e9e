#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "attached/attached_format.h"
#include "attached/attached_reader.h"
#include "attached/extract.h"
#include "attached/extract_testing.h"
#include "attached/private_directory.h"
#include "common/wide_buffer.h"
#include "common/launch_state.h"
#include "launcher/record_loop.h"
#include "target/target_spec.h"
#include "tests/support/test_support.h"

namespace {

std::wstring home_directory() {
  wchar_t home[4096];
  EXPECT_TRUE(expand_target_spec(home, L"{HOME}", 4096));
  return home;
}

// Unpacks every record of a block file into target_directory through the
// extracting parent's own record loop.
void unpack_block(const wchar_t* block_name) {
  static std::string block;  // the reader keeps pointing into it
  block = read_test_data(block_name);
  open_attached_reader_over(reinterpret_cast<const unsigned char*>(block.data()) + 3,
                            block.size() - 3);
  unpack_records();
  close_attached_reader();
}

// The directory table lives as long as the process, while each test removes
// the directories it made: every test starts with a fresh table.
class FreshDirectoryTable : public testing::Test {
 protected:
  void SetUp() override { known_directory_count = 0; }
};
class Extraction : public FreshDirectoryTable {};
class TargetDirectory : public FreshDirectoryTable {};

}  // namespace

TEST_F(Extraction, FirstFileCreatesTheChainTopDownAndTheSecondCostsNothing) {
  std::wstring t = fresh_test_directory(L"chain");
  ensure_parent_directories((t + L"\\a\\b\\c\\f").c_str());
  ASSERT_EQ(known_directory_count, 5);
  // The home directory starts the table, then each directory as it was made.
  EXPECT_EQ(known_directories[0], home_directory());
  EXPECT_EQ(known_directories[1], t);
  EXPECT_EQ(known_directories[2], t + L"\\a");
  EXPECT_EQ(known_directories[3], t + L"\\a\\b");
  EXPECT_EQ(known_directories[4], t + L"\\a\\b\\c");
  EXPECT_TRUE(is_directory(t + L"\\a\\b\\c"));
  ensure_parent_directories((t + L"\\a\\b\\c\\g").c_str());
  EXPECT_EQ(known_directory_count, 5);
  // A bare drive exists without a call and is never entered.
  EXPECT_TRUE(create_directory_cached(L"Q:"));
  EXPECT_TRUE(create_directory_cached(L"\u00e9:"));
  EXPECT_EQ(known_directory_count, 5);
}

TEST_F(Extraction, TableStopsAtItsCapacityAndDirectoriesAreStillMade) {
  std::wstring t = fresh_test_directory(L"many");
  ASSERT_TRUE(CreateDirectoryW(t.c_str(), nullptr));
  for (int i = 0; i < KNOWN_DIRECTORIES_CAPACITY + 50; ++i) {
    ASSERT_TRUE(create_directory_cached((t + L"\\d" + std::to_wstring(i)).c_str()));
  }
  EXPECT_EQ(known_directory_count, KNOWN_DIRECTORIES_CAPACITY);
  std::wstring late = t + L"\\d" + std::to_wstring(KNOWN_DIRECTORIES_CAPACITY + 40);
  EXPECT_TRUE(is_directory(late));
  // Not remembered, so asked again: existing counts as success.
  EXPECT_TRUE(create_directory_cached(late.c_str()));
  EXPECT_EQ(known_directory_count, KNOWN_DIRECTORIES_CAPACITY);
}

TEST_F(Extraction, RecordsOfEverySizeArriveByteForByteAndReplaceOldFiles) {
  std::wstring t = fresh_test_directory(L"sizes");
  wide_copy(target_directory, t.c_str(), TARGET_DIRECTORY_CAPACITY);
  ASSERT_TRUE(CreateDirectoryW(t.c_str(), nullptr));
  write_whole_file(t + L"\\replaced", std::string(100000, 'o'));
  unpack_block(L"sizes.bin");
  const struct {
    const wchar_t* record;
    const wchar_t* fixture;
  } files[] = {
      {L"app", L"app"},
      {L"d\\zero", L"zero"},
      {L"d\\e\\piece", L"piece"},
      {L"d\\e\\piece_and_one", L"piece_and_one"},
      {L"replaced", L"replaced"},
  };
  for (const auto& f : files) {
    std::string want = read_test_data((std::wstring(L"..\\fixtures\\x\\") + f.fixture).c_str());
    EXPECT_EQ(read_whole_file(t + L"\\" + f.record), want) << f.fixture;
  }
}

TEST_F(Extraction, AFileThatCannotBeCreatedIsReportedWithItsPath) {
  std::wstring t = fresh_test_directory(L"blocked");
  CreateDirectoryW(t.c_str(), nullptr);
  write_whole_file(t + L"\\d", "a file where a directory should be");
  wide_copy(target_directory, t.c_str(), TARGET_DIRECTORY_CAPACITY);
  std::wstring path = t + L"\\d\\zero";
  std::string narrow(path.begin(), path.end());
  EXPECT_EXIT_OUTPUT(unpack_block(L"sizes.bin"), testing::ExitedWithCode(2),
                     "Error, failed to open '" + narrow + "' for writing.\r\n");
}

TEST_F(TargetDirectory, AnExistingDirectoryIsRefusedAndNothingIsWritten) {
  std::wstring t = fresh_test_directory(L"planted");
  CreateDirectoryW(t.c_str(), nullptr);
  wide_copy(target_directory, t.c_str(), TARGET_DIRECTORY_CAPACITY);
  std::string narrow(t.begin(), t.end());
  EXPECT_EXIT_OUTPUT(create_target_directory(), testing::ExitedWithCode(2),
                     "Error, couldn't create target directory '" + narrow + "'. ([Error 183] " +
                         system_error_text(ERROR_ALREADY_EXISTS) + ")\r\n");
  EXPECT_TRUE(is_directory(t));
}

namespace {

std::wstring sid_text(PSID sid) {
  wchar_t* text = nullptr;
  ConvertSidToStringSidW(sid, &text);
  std::wstring result = text != nullptr ? text : L"";
  LocalFree(text);
  return result;
}

std::wstring token_sid(TOKEN_INFORMATION_CLASS what) {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  alignas(8) unsigned char information[256];
  DWORD size = 0;
  GetTokenInformation(token, what, information, sizeof information, &size);
  CloseHandle(token);
  return sid_text(what == TokenUser
                      ? reinterpret_cast<TOKEN_USER*>(information)->User.Sid
                      : reinterpret_cast<TOKEN_MANDATORY_LABEL*>(information)->Label.Sid);
}

// The allowed SIDs of a protected access list whose entries all pass on to
// files and directories below; empty when the list is not like that.
std::wstring protected_inheritable_sids(PSECURITY_DESCRIPTOR descriptor, PACL dacl) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  if (!(control & SE_DACL_PROTECTED) || dacl == nullptr) return L"";
  std::wstring sids;
  for (int i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    GetAce(dacl, i, reinterpret_cast<void**>(&ace));
    const BYTE both = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->Header.AceFlags & both) != both ||
        ace->Mask != FILE_ALL_ACCESS) {
      return L"";
    }
    sids += sid_text(&ace->SidStart) + L" ";
  }
  return sids;
}

}  // namespace

TEST_F(TargetDirectory, DescriptorAdmitsOnlyUserSystemAndAdministratorsAndForbidsWriteUp) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(build_private_descriptor(&descriptor), static_cast<DWORD>(ERROR_SUCCESS));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  EXPECT_EQ(protected_inheritable_sids(descriptor, dacl),
            token_sid(TokenUser) + L" S-1-5-18 S-1-5-32-544 ");
  PACL sacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted));
  ASSERT_NE(sacl, nullptr);
  ASSERT_EQ(sacl->AceCount, 1);
  SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
  ASSERT_TRUE(GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
  EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
  EXPECT_EQ(label->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
            OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
  EXPECT_EQ(sid_text(&label->SidStart), token_sid(TokenIntegrityLevel));
  LocalFree(descriptor);
}

TEST_F(TargetDirectory, IsCreatedWithTheDescriptorWhereTheSystemKeepsIt) {
  std::wstring t = fresh_test_directory(L"private");
  wide_copy(target_directory, t.c_str(), TARGET_DIRECTORY_CAPACITY);
  create_target_directory();
  ASSERT_TRUE(is_directory(t));
  write_whole_file(t + L"\\inside", "x");
  for (const std::wstring& path : {t, t + L"\\inside"}) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    bool kept = path == t ? (control & SE_DACL_PROTECTED) != 0 : dacl && dacl->AceCount == 3;
    if (!kept) {
      LocalFree(descriptor);
      GTEST_SKIP() << "this system does not keep file security descriptors";
    }
    EXPECT_EQ(dacl->AceCount, 3);
    LocalFree(descriptor);
  }
}
