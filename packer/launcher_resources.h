// The resources a launcher executable carries: the application manifest,
// the icon group and, when asked for, a version resource. Each option's
// value is checked by its own function, so that every command line that
// takes it refuses a bad one with the same one-line reason.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "icon_file.h"
#include "resource_section.h"

// The manifest's requestedExecutionLevel.
extern const char* const kExecutionLevels[3];
const char kDefaultExecutionLevel[] = "requireAdministrator";

// The string keys a version resource may carry.
extern const char* const kVersionKeys[8];

struct ResourceOptions {
  std::string execution_level = kDefaultExecutionLevel;
  std::string icon;  // an .ico file; empty: the launcher's own icon
  std::vector<std::pair<std::string, std::string>> version_info;  // in order given
};

// False with the reason in *error when text names no execution level. A
// reason follows the option's name: "takes ...".
bool parse_uac_level(const std::string& text, std::string* level, std::string* error);

// KEY=VALUE with a known key and a UTF-8 value; FileVersion and
// ProductVersion must then be up to four dot-separated numbers of 0 to 65535.
bool parse_version_entry(const std::string& text, std::pair<std::string, std::string>* entry,
                         std::string* error);

// The entries of the resource section; false with a one-line reason (an
// unusable icon file) in *error.
bool make_launcher_resources(const ResourceOptions& options, std::vector<ResourceEntry>* entries,
                             std::string* error);
