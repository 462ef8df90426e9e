#include "embedded_files.h"

// Each file's first byte and the byte after its last, from embedded_files.S.
extern "C" const unsigned char launcher_image_start[], launcher_image_end[];
extern "C" const unsigned char default_icon_start[], default_icon_end[];
extern "C" const unsigned char manifest_start[], manifest_end[];

const EmbeddedFile embedded_launcher_image = {
    launcher_image_start, static_cast<size_t>(launcher_image_end - launcher_image_start)};
const EmbeddedFile embedded_icon = {default_icon_start,
                                    static_cast<size_t>(default_icon_end - default_icon_start)};
const EmbeddedFile embedded_manifest = {manifest_start,
                                        static_cast<size_t>(manifest_end - manifest_start)};
