// Writes one launcher executable to its final path: the checks made before
// anything is written (the output is a regular file or new, the icon is
// usable), then the packer's own launcher image with the resources and the
// block, through a temporary file beside the output that is renamed into
// place only when complete.
#pragma once

#include <string>

#include "launcher_executable.h"
#include "launcher_resources.h"

struct ExecutableOptions {
  bool console = false;
  ResourceOptions resources;
};

// Checks what can be checked before the block is made; false with a
// one-line message in *error.
bool check_executable_output(const std::string& output, const ExecutableOptions& options,
                             std::string* error);

// Writes the executable; block writes the attached data. On failure returns
// false with a one-line message in *error and leaves output as it was.
bool write_executable_file(const std::string& output, const ExecutableOptions& options,
                           const BlockProducer& block, std::string* error);
