// A directory that only this user, SYSTEM and Administrators may touch.
#pragma once

#include <windows.h>

// Creates directory, which must not exist yet, with a protected access list
// granting full access to the current user, SYSTEM and Administrators only,
// and a mandatory label at this process's integrity level that forbids
// writes from below it; files and directories created inside inherit both.
// Gives ERROR_SUCCESS or the system error of the step that failed
// (ERROR_ALREADY_EXISTS when anything is at the path already).
DWORD create_private_directory(const wchar_t* directory);

// The descriptor that create_private_directory applies; the caller frees it
// with LocalFree.
DWORD build_private_descriptor(PSECURITY_DESCRIPTOR* descriptor);
