#include "executable_output.h"

#include "embedded_files.h"
#include "host_files.h"

namespace {

bool load_own_image(LauncherImage* image, std::string* error) {
  std::string problem;
  if (read_launcher_image(embedded_launcher_image.data, embedded_launcher_image.size, image,
                          &problem))
    return true;
  *error = "the packer's launcher image is damaged: " + problem;
  return false;
}

}  // namespace

bool check_executable_output(const std::string& output, const ExecutableOptions& options,
                             std::string* error) {
  // Renaming over a device, a pipe or a directory would replace the node
  // itself, or fail only after all the work.
  if (is_other_than_regular_file(output)) {
    *error = "cannot write '" + output + "': it exists and is not a regular file";
    return false;
  }
  LauncherImage image;
  std::vector<ResourceEntry> resources;
  return load_own_image(&image, error) &&
         make_launcher_resources(options.resources, &resources, error);
}

bool write_executable_file(const std::string& output, const ExecutableOptions& options,
                           const BlockProducer& block, std::string* error) {
  LauncherImage image;
  std::vector<ResourceEntry> resources;
  if (!check_executable_output(output, options, error) || !load_own_image(&image, error) ||
      !make_launcher_resources(options.resources, &resources, error))
    return false;
  FILE* out = open_temporary_beside(output, error);
  if (out == nullptr) return false;
  ExecutableLayout layout;
  layout.console = options.console;
  bool ok = write_launcher_executable(out, output, image, layout, resources, block, error);
  return commit_temporary(out, ok, error) && ok;
}
