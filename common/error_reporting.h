// The launcher's only user interface: one line on a standard stream, then the
// end of the process. Plain messages go to standard output with puts; a
// message that names a path or carries a system error goes to standard error,
// which the start-up makes unbuffered so the line is out even before abort().
// A path reaches the stream whole and on the message's one line: through the
// wide console call when standard error is a console, else as UTF-8, with
// control characters written as escapes such as \x0a.
#pragma once

#include <windows.h>

// Writes "<message> ([Error <code>] <system text>)" on standard error. The
// caller takes code from GetLastError right after the failed call.
void print_error_with_code(const char* message, DWORD code);

// Writes a message whose one "%ls" receives path, as described above,
// without ending the process.
void print_path_message(const char* format, const wchar_t* path);

// Each writes its message as described above and ends the process with
// status 2, through exit so that standard output is flushed.
[[noreturn]] void fail_with_message(const char* message);
[[noreturn]] void fail_with_path(const char* format, const wchar_t* path);
[[noreturn]] void fail_with_system_error(const char* message, DWORD code);
// As fail_with_system_error, with a message whose "%ls" receives path.
[[noreturn]] void fail_with_path_and_system_error(const char* format, const wchar_t* path,
                                                  DWORD code);

// Stands where the system has no US-English text for a code.
#define UNKNOWN_SYSTEM_ERROR_TEXT "unknown error"

// The catalogue of the launcher's messages.
#define MESSAGE_SPEC_EXPANSION_FAILED "Error, couldn't runtime expand spec '%ls'.\n"
#define MESSAGE_SIGNAL_HANDLER_FAILED "Error, failed to register signal handler."
#define MESSAGE_NO_ATTACHED_HEADER "Error, couldn't find attached data header."
#define MESSAGE_OUT_OF_MEMORY "Error, couldn't allocate memory."
#define MESSAGE_DECODE_FAILED "Error, couldn't decode attached data."
#define MESSAGE_LOAD_DLL_FAILED "Error, load DLL."
#define MESSAGE_NO_ENTRY_POINT "Error, DLL entry point not found."
#define MESSAGE_OPEN_FOR_WRITING_FAILED "Error, failed to open '%ls' for writing.\n"
#define MESSAGE_UNPACK_FAILED "Error, couldn't unpack file to target path."
#define MESSAGE_LAUNCH_FAILED "Error, couldn't launch child"
// Beyond the classic catalogue: refusals that keep a launch safe.
#define MESSAGE_NO_APPLICATION_LIBRARY "Error, attached data holds no application library."
#define MESSAGE_UNSAFE_RECORD_NAME "Error, attached data holds the unsafe record name '%ls'.\n"
#define MESSAGE_TARGET_DIRECTORY_FAILED "Error, couldn't create target directory '%ls'."
#define MESSAGE_COMMAND_LINE_TOO_LONG "Error, couldn't launch child: command line too long."
