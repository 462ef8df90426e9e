// Checks a user's .ico before the resource compiler takes it: the compiler
// copies images blindly, and a broken file would only show as a broken icon
// on the user's desktop.
#pragma once

#include <string>

// False with a one-line reason in *error naming path when the file is not
// an icon file whose every image is a complete bitmap or PNG.
bool check_icon_file(const std::string& path, std::string* error);
