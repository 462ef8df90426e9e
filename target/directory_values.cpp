#include "target/directory_values.h"

#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>

#include "common/system_library.h"
#include "target/scratch_value.h"

bool append_temp_directory(spec_output* output) {
  size_t room = spec_output_room(output);
  // Written in place: the value may be as long as the whole room.
  DWORD length = GetTempPathW(/*nBufferLength=*/static_cast<DWORD>(room + 1),
                              spec_output_end(output));
  // Unchecked, a failed query or a value that found no room would leave an
  // empty value, and the target directory would land in the root of the
  // current drive: the first is reported, the second aborts like any value
  // that does not fit.
  if (length == 0) {
    *spec_output_end(output) = L'\0';
    return false;
  }
  if (length > room) abort();
  adopt_written_value(output);
  remove_trailing_backslashes(output);
  return true;
}

static bool append_folder(spec_output* output, int folder_id) {
  // Only specs that name these folders need the shell library.
  auto get_folder_path = reinterpret_cast<decltype(&SHGetFolderPathW)>(
      system_function(L"shell32.dll", "SHGetFolderPathW"));
  if (get_folder_path == nullptr) return false;
  HRESULT result = get_folder_path(/*hwnd=*/nullptr, folder_id, /*hToken=*/nullptr,
                                   /*dwFlags=SHGFP_TYPE_CURRENT*/ 0, scratch_value);
  if (result != S_OK) return false;
  append_spec_value(output, scratch_value);
  remove_trailing_backslashes(output);
  return true;
}

bool append_profile_directory(spec_output* output) { return append_folder(output, CSIDL_PROFILE); }

bool append_local_app_data_directory(spec_output* output) {
  return append_folder(output, CSIDL_LOCAL_APPDATA);
}
