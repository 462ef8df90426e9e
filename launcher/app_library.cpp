// Stand-in until the hand-off lands.
#include "launcher/app_library.h"

int run_application_library() { return 0; }
