// The report that the test applications write: pairs of zero-terminated
// UTF-16 names and values, in the order they were written.
#pragma once

#include <map>
#include <string>

typedef std::multimap<std::wstring, std::wstring> Report;

// The report's pairs; a report cut short gives the pairs that are whole.
Report read_report(const std::wstring& path);
std::wstring field(const Report& report, const std::wstring& name);  // "<absent>" if missing
