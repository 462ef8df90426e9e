#include "target/pinned_values.h"

#include <stdlib.h>

#include "common/environment.h"

bool append_pinned_value(spec_output* output, const char* variable) {
  wchar_t* pinned = get_env_copy(variable);
  if (pinned == nullptr) return false;
  append_spec_value(output, pinned);
  free(pinned);
  return true;
}

void pin_and_append(spec_output* output, const char* variable, const wchar_t* value) {
  set_env_ascii_name(variable, value);
  append_spec_value(output, value);
}
