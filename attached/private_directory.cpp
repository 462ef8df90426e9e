#include "attached/private_directory.h"

#include <sddl.h>
#include <stdio.h>

#include "common/system_library.h"

// The security calls live in advapi32, which only the extracting parent needs:
// it is loaded at the first directory made, not by the loader in every run.
static void* security_function(const char* name) { return system_function(L"advapi32.dll", name); }

// Room for the descriptor text with two string SIDs of at most 184 units.
enum { DESCRIPTOR_TEXT_CAPACITY = 512 };

// The SID of the token's user or of its integrity level, as text; the
// caller frees it with LocalFree.
static DWORD token_sid_text(HANDLE token, TOKEN_INFORMATION_CLASS what, wchar_t** text) {
  // Large enough for TOKEN_USER or TOKEN_MANDATORY_LABEL with the largest SID.
  alignas(8) unsigned char information[256];
  DWORD size = 0;
  auto get_token_information = reinterpret_cast<decltype(&GetTokenInformation)>(
      security_function("GetTokenInformation"));
  auto convert_sid_to_text = reinterpret_cast<decltype(&ConvertSidToStringSidW)>(
      security_function("ConvertSidToStringSidW"));
  if (get_token_information == nullptr || convert_sid_to_text == nullptr) return GetLastError();
  if (!get_token_information(token, what, information, sizeof information, &size)) {
    return GetLastError();
  }
  PSID sid = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(information)->User.Sid
                               : reinterpret_cast<TOKEN_MANDATORY_LABEL*>(information)->Label.Sid;
  if (!convert_sid_to_text(sid, text)) return GetLastError();
  return ERROR_SUCCESS;
}

static DWORD build_descriptor_text(wchar_t* descriptor) {
  auto open_process_token =
      reinterpret_cast<decltype(&OpenProcessToken)>(security_function("OpenProcessToken"));
  if (open_process_token == nullptr) return GetLastError();
  HANDLE token = nullptr;
  if (!open_process_token(GetCurrentProcess(), TOKEN_QUERY, &token)) return GetLastError();
  wchar_t* user = nullptr;
  wchar_t* level = nullptr;
  DWORD error = token_sid_text(token, TokenUser, &user);
  if (error == ERROR_SUCCESS) error = token_sid_text(token, TokenIntegrityLevel, &level);
  CloseHandle(token);
  if (error == ERROR_SUCCESS) {
    // P: nothing is inherited from %TEMP%; OICI: everything below inherits;
    // FA: full access; NW: no write up from lower integrity levels.
    int length = swprintf(descriptor, DESCRIPTOR_TEXT_CAPACITY,
                          L"D:P(A;OICI;FA;;;%ls)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                          L"S:(ML;OICI;NW;;;%ls)",
                          user, level);
    if (length < 0) error = ERROR_INSUFFICIENT_BUFFER;
  }
  LocalFree(user);
  LocalFree(level);
  return error;
}

DWORD build_private_descriptor(PSECURITY_DESCRIPTOR* descriptor) {
  wchar_t descriptor_text[DESCRIPTOR_TEXT_CAPACITY];
  DWORD error = build_descriptor_text(descriptor_text);
  if (error != ERROR_SUCCESS) return error;
  auto text_to_descriptor =
      reinterpret_cast<decltype(&ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
          security_function("ConvertStringSecurityDescriptorToSecurityDescriptorW"));
  if (text_to_descriptor == nullptr ||
      !text_to_descriptor(descriptor_text, SDDL_REVISION_1, descriptor, /*size=*/nullptr)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

DWORD create_private_directory(const wchar_t* directory) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = build_private_descriptor(&descriptor);
  if (error != ERROR_SUCCESS) return error;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, /*bInheritHandle=*/FALSE};
  // CreateDirectoryW never opens an existing directory: a directory that
  // someone made in advance is refused, not adopted.
  error = CreateDirectoryW(directory, &attributes) ? ERROR_SUCCESS : GetLastError();
  LocalFree(descriptor);
  return error;
}
