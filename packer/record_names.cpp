#include "record_names.h"

#include <locale.h>
#include <stdio.h>
#include <wctype.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <map>

#include "common/record_name_rule.h"
#include "utf16.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool is_drive(const std::string& component) {
  return component.size() == 2 && component[1] == ':' &&
         ((component[0] >= 'A' && component[0] <= 'Z') || (component[0] >= 'a' && component[0] <= 'z'));
}

// The launcher refuses the same components by the same rule; the packer
// only adds a message that says why.
bool check_component(const std::string& component, bool first, std::string* problem) {
  if (first && is_drive(component)) {
    *problem = "starts with the drive '" + component + "'";
    return false;
  }
  std::u16string units;
  // A component that is no UTF-8 is reported for the whole name.
  if (!utf8_to_utf16(component, &units)) return true;
  size_t at = 0;
  switch (check_record_component(units.data(), units.size(), &at)) {
    case COMPONENT_STORABLE:
      return true;
    case COMPONENT_EMPTY:
      *problem = "has an empty component";
      return false;
    case COMPONENT_DOT_OR_DOT_DOT:
      *problem = "has the component '" + component + "', which names no file of its own";
      return false;
    case COMPONENT_CONTROL_CHARACTER: {
      char code[8];
      snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(units[at]));
      *problem = std::string("holds the control character ") + code +
                 ", which Windows forbids in names";
      return false;
    }
    case COMPONENT_FORBIDDEN_CHARACTER:
      *problem = std::string("holds '") + static_cast<char>(units[at]) +
                 "', which Windows forbids in names";
      return false;
    case COMPONENT_TRAILING_DOT_OR_BLANK:
      *problem = "has the component '" + component + "', whose trailing " +
                 (component.back() == '.' ? "dot" : "blank") + " Windows drops";
      return false;
    case COMPONENT_DEVICE_NAME:
      *problem = "has the component '" + component + "', which Windows takes for a device";
      return false;
  }
  return true;
}

// A unit outside ASCII in upper case, as the system's tables have it.
char16_t upper_unit(char16_t unit) {
#ifdef _WIN32
  wchar_t text[1] = {static_cast<wchar_t>(unit)};
  CharUpperBuffW(text, 1);
  return static_cast<char16_t>(text[0]);
#else
  // Loaded once; without a UTF-8 locale only ASCII letters fold.
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return unit;
  wint_t upper = towupper_l(unit, locale);
  // Windows maps one unit to one unit; a mapping out of the plane is none.
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
#endif
}

}  // namespace

bool is_device_name(const std::string& component) {
  std::u16string units;
  if (!utf8_to_utf16(component, &units)) return false;
  return record_name_rule_detail::is_device_name(units.data(), units.size());
}

bool make_record_name(const std::string& relative_path, std::u16string* name,
                      std::string* problem) {
  std::vector<std::string> components = split(relative_path, '/');
  for (size_t i = 0; i < components.size(); ++i)
    if (!check_component(components[i], i == 0, problem)) return false;
  std::string joined;
  for (size_t i = 0; i < components.size(); ++i) joined += (i ? "\\" : "") + components[i];
  if (!utf8_to_utf16(joined, name)) {
    *problem = "is not valid UTF-8";
    return false;
  }
  if (name->size() > kMaxRecordNameUnits) {
    *problem = "is " + std::to_string(name->size()) + " UTF-16 units long, more than the " +
               std::to_string(kMaxRecordNameUnits) + " a name may have";
    return false;
  }
  return true;
}

bool record_name_is_safe(const std::u16string& name) {
  // The launcher's own rule: a name it would refuse is never written out
  // here either.
  return is_storable_record_name(name.data(), name.size());
}

std::u16string fold_letter_case(const std::u16string& name) {
  std::u16string folded = name;
  for (char16_t& unit : folded) {
    if (unit >= u'a' && unit <= u'z') {
      unit = static_cast<char16_t>(unit - u'a' + u'A');
    } else if (unit >= 0x80 && (unit < 0xD800 || unit > 0xDFFF)) {
      unit = upper_unit(unit);
    }
  }
  return folded;
}

bool find_letter_case_clash(const std::vector<std::u16string>& names, size_t* first,
                            size_t* second) {
  std::map<std::u16string, size_t> files;
  for (size_t i = 0; i < names.size(); ++i) {
    auto inserted = files.emplace(fold_letter_case(names[i]), i);
    if (!inserted.second) {
      *first = inserted.first->second;
      *second = i;
      return true;
    }
  }
  for (size_t i = 0; i < names.size(); ++i) {
    std::u16string folded = fold_letter_case(names[i]);
    for (size_t cut = folded.find(u'\\'); cut != std::u16string::npos;
         cut = folded.find(u'\\', cut + 1)) {
      auto file = files.find(folded.substr(0, cut));
      if (file != files.end()) {
        *first = file->second;
        *second = i;
        return true;
      }
    }
  }
  return false;
}
