// The names a pack accepts and the ones it refuses, as the packer builds
// them from host paths relative to the packed directory.
#include <stdio.h>

#include <string>
#include <vector>

#include "record_names.h"
#include "tests/support/host_check.h"
#include "utf16.h"

namespace {

void names_are_accepted_or_refused() {
  const struct {
    std::string path;
    const char* name;  // null: refused, with a reason that holds `reason`
    const char* reason;
  } cases[] = {
      {"app.dll", "app.dll", nullptr},
      {"data/sub/file.txt", "data\\sub\\file.txt", nullptr},
      {"..x/.y/...z", "..x\\.y\\...z", nullptr},
      {"CONSOLE.txt", "CONSOLE.txt", nullptr},
      {"COM10", "COM10", nullptr},
      {" lead", " lead", nullptr},
      {"a/./b", nullptr, "'.'"},
      {"../b", nullptr, "'..'"},
      {"a/..", nullptr, "'..'"},
      {"a//b", nullptr, "empty component"},
      {"/a", nullptr, "empty component"},
      {"a/", nullptr, "empty component"},
      {"C:/x", nullptr, "drive"},
      {"z:", nullptr, "drive"},
      {"a:stream", nullptr, "':'"},
      {"a\\b", nullptr, "'\\'"},
      {"a<b", nullptr, "'<'"},
      {"a>b", nullptr, "'>'"},
      {"a\"b", nullptr, "'\"'"},
      {"a|b", nullptr, "'|'"},
      {"a?b", nullptr, "'?'"},
      {"a*b", nullptr, "'*'"},
      {"a\tb", nullptr, "0x09"},
      {"a\x1f", nullptr, "0x1F"},
      {"CON", nullptr, "device"},
      {"dir/nul.txt", nullptr, "device"},
      {"Aux .log", nullptr, "device"},
      {"com1", nullptr, "device"},
      {"LPT9.x.y", nullptr, "device"},
      {"COM\xC2\xB9", nullptr, "device"},
      {"trailing.", nullptr, "trailing dot"},
      {"dir./x", nullptr, "trailing dot"},
      {"trailing ", nullptr, "trailing blank"},
      {"bad\xff", nullptr, "UTF-8"},
  };
  for (const auto& c : cases) {
    std::u16string name;
    std::string problem;
    bool accepted = make_record_name(c.path, &name, &problem);
    if (c.name != nullptr) {
      std::u16string expected;
      utf8_to_utf16(c.name, &expected);
      expect(accepted && name == expected, "accept '" + c.path + "' (" + problem + ")");
    } else {
      expect(!accepted && problem.find(c.reason) != std::string::npos,
             "refuse '" + c.path + "' for " + c.reason + ", got: " + problem);
    }
  }
}

void long_names_stop_at_1023_units() {
  std::u16string name;
  std::string problem;
  // Components of 255 bytes, as a host file system allows, joined to 1023.
  std::string part(255, 'n');
  std::string path = part + "/" + part + "/" + part + "/" + std::string(1023 - 3 * 256, 'n');
  expect(make_record_name(path, &name, &problem) && name.size() == 1023, "1023 units fit");
  expect(!make_record_name(path + "n", &name, &problem) &&
             problem.find("1024 UTF-16 units") != std::string::npos,
         "1024 units refused: " + problem);
  // Units, not bytes, count: 1023 three-byte characters still fit.
  std::string wide;
  for (int i = 0; i < 1023; ++i) wide += (i % 85 == 84) ? "/" : "\xE2\x82\xAC";
  expect(make_record_name(wide, &name, &problem), "1023 euro signs and separators: " + problem);
}

std::u16string u(const char* text) {
  std::u16string out;
  utf8_to_utf16(text, &out);
  return out;
}

void letter_case_clashes_are_found() {
  const struct {
    std::vector<const char*> names;
    bool clash;
    size_t first, second;
  } cases[] = {
      {{"app.dll", "Readme.txt", "README.TXT"}, true, 1, 2},
      {{"app.dll", "data\\x", "Data\\y"}, false, 0, 0},
      {{"app.dll", "Data", "data\\x"}, true, 1, 2},
      {{"app.dll", "a\\b\\c", "A\\B"}, true, 2, 1},
      {{"\xC3\xA9t\xC3\xA9.txt", "\xC3\x89T\xC3\x89.TXT"}, true, 0, 1},
      {{"a.txt", "b.txt", "ab\\a.txt"}, false, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> names;
    std::string shown;
    for (const char* name : c.names) {
      names.push_back(u(name));
      shown += std::string(name) + " ";
    }
    size_t first = 99, second = 99;
    bool clash = find_letter_case_clash(names, &first, &second);
    expect(clash == c.clash && (!clash || (first == c.first && second == c.second)),
           "clash among " + shown);
  }
}

}  // namespace

int main() {
  names_are_accepted_or_refused();
  long_names_stop_at_1023_units();
  letter_case_clashes_are_found();
  return host_check_result("record name rules");
}
