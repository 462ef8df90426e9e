#include <gtest/gtest.h>

#include <string>

#include "attached/attached_reader.h"
#include "common/launch_state.h"
#include "launcher/record_names.h"
#include "tests/support/test_support.h"

namespace {

void open_block(const wchar_t* name) {
  static std::string block;
  block = read_test_data(name);
  open_attached_reader_over(reinterpret_cast<const unsigned char*>(block.data()) + 3,
                            block.size() - 3);
}

}  // namespace

TEST(RecordNames, OnlyPlainRelativePathsThatWindowsStoresAsGivenAreSafe) {
  const struct {
    const wchar_t* name;
    bool safe;
  } cases[] = {
      {L"app.dll", true},         {L"a\\b\\c.txt", true},    {L"..x\\.y", true},
      {L"CONSOLE.txt", true},     {L"COM10", true},          {L" lead", true},
      {L"\x00e9t\x00e9\\\x65e5", true},
      {L"...", false},            {L"..", false},            {L"a\\..\\b", false},
      {L".\\a", false},           {L"a\\.", false},          {L"\\a", false},
      {L"a\\", false},            {L"a\\\\b", false},        {L"C:\\a", false},
      {L"a:stream", false},       {L"a/b", false},           {L"\\\\server\\s", false},
      // Windows would open a device, or store a shorter name, or none.
      {L"NUL", false},            {L"aux.txt", false},       {L"d\\Com1", false},
      {L"lpt\x00b9.log", false},   {L"con .x", false},        {L"a\\b.", false},
      {L"b \\c", false},          {L"a\nb", false},          {L"a|b", false},
      {L"a*", false},             {L"a?", false},            {L"a<b>", false},
      {L"a\"b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(record_name_is_safe(c.name), c.safe) << testing::PrintToString(std::wstring(c.name));
  }
}

TEST(RecordNames, ANameOf1023UnitsFitsAndALongerOneIsDamagedData) {
  open_block(L"longest_name.bin");
  read_record_name();
  EXPECT_EQ(std::wstring(record_name), std::wstring(1023, L'n'));
  close_attached_reader();
  EXPECT_EXIT_OUTPUT({ open_block(L"too_long_name.bin"); read_record_name(); },
                     testing::ExitedWithCode(2), "Error, couldn't decode attached data.\r\n");
}

TEST(RecordNames, ANameReachingOutsideTheTargetDirectoryIsRefused) {
  EXPECT_EXIT_OUTPUT({ open_block(L"escaping_name.bin"); read_record_name(); },
                     testing::ExitedWithCode(2),
                     "Error, attached data holds the unsafe record name '..\\escaped'.\r\n");
}
