#include "tests/support/app_report.h"

#include "tests/support/test_support.h"

Report read_report(const std::wstring& path) {
  Report report;
  std::string bytes = read_whole_file(path);
  if (bytes == "<missing>") return report;
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  size_t at = 0;
  while (at < text.size()) {
    size_t name_end = text.find(L'\0', at);
    size_t value_end = text.find(L'\0', name_end + 1);
    if (name_end == std::wstring::npos || value_end == std::wstring::npos) break;
    report.emplace(text.substr(at, name_end - at),
                   text.substr(name_end + 1, value_end - name_end - 1));
    at = value_end + 1;
  }
  return report;
}

std::wstring field(const Report& report, const std::wstring& name) {
  auto found = report.find(name);
  return found == report.end() ? L"<absent>" : found->second;
}
