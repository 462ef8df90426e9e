// The launcher kit: what the Windows build leaves for linking a launcher
// around a new block without compiling the launcher's sources again. The
// kit's kit.txt names the compiler driver, the resource compiler and the
// link flags, one argument a line after its kind:
//
//   compiler /usr/bin/x86_64-w64-mingw32-g++-posix
//   resource-compiler x86_64-w64-mingw32-windres
//   link-option -Wl,--stack,16777216
//   link-library -lkernel32
//
// Beside it: liblauncher.a (taken whole), libzstd_decoder.a, the block stub
// template attached_block.S.in, and the default resources (resources.o,
// compiled from launcher.rc, manifest.xml and app.ico).
#pragma once

#include <string>
#include <vector>

struct LauncherKit {
  std::string directory;  // absolute
  std::string compiler;
  std::string resource_compiler;
  std::vector<std::string> link_options;
  std::vector<std::string> link_libraries;
};

bool load_launcher_kit(const std::string& directory, LauncherKit* kit, std::string* error);

// Compiles the kit's resource script with icon_path as the icon into
// work_dir/resources.o.
bool compile_resources(const LauncherKit& kit, const std::string& work_dir,
                       const std::string& icon_path, std::string* error);

// Links work_dir/launcher.exe from work_dir/block.bin, the kit and the
// resource object.
bool link_launcher(const LauncherKit& kit, const std::string& work_dir,
                   const std::string& resources_object, std::string* error);
