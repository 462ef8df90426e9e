#include "common/tree_deletion.h"

#include <wchar.h>

// Attributes that a file's basic information may carry when it is set; the
// others (directory, reparse point, compression, ...) are the system's own.
static const DWORD SETTABLE_ATTRIBUTES = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

static bool starts_with(const wchar_t* text, const wchar_t* prefix) {
  return wcsncmp(text, prefix, wcslen(prefix)) == 0;
}

static bool is_drive_letter(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

bool make_extended_path(wchar_t* extended, const wchar_t* path, size_t capacity) {
  extended[0] = L'\0';
  const wchar_t* prefix = nullptr;
  const wchar_t* rest = path;
  if (starts_with(path, L"\\\\?\\") || starts_with(path, L"\\\\.\\")) {
    prefix = L"";
  } else if (starts_with(path, L"\\\\")) {
    prefix = L"\\\\?\\UNC\\";
    rest = path + 2;
  } else if (is_drive_letter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    prefix = L"\\\\?\\";
  } else {
    return false;
  }
  size_t prefix_length = wcslen(prefix);
  size_t rest_length = wcslen(rest);
  // The system takes an extended path exactly as written: a trailing
  // backslash would double the one that each name below is appended with.
  while (rest_length > 3 && rest[rest_length - 1] == L'\\') --rest_length;
  if (prefix_length + rest_length + 1 > capacity) return false;
  wmemcpy(extended, prefix, prefix_length);
  wmemcpy(extended + prefix_length, rest, rest_length);
  extended[prefix_length + rest_length] = L'\0';
  return true;
}

// Through a handle opened on the entry itself, so that the attributes of a
// link change and never those of what it points to.
static void clear_read_only(const wchar_t* path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  HANDLE entry = CreateFileW(path, FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                             /*hTemplateFile=*/nullptr);
  if (entry == INVALID_HANDLE_VALUE) return;
  // Zero times leave the entry's times as they are.
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes & SETTABLE_ATTRIBUTES;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
  CloseHandle(entry);
}

// A file, or a link of any kind: DeleteFileW and RemoveDirectoryW remove a
// link itself and never what it points to.
static void delete_entry(const wchar_t* path, DWORD attributes) {
  clear_read_only(path, attributes);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    RemoveDirectoryW(path);
  } else {
    DeleteFileW(path);
  }
}

static bool is_dot_entry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool tree_deletion_stopped(const TreeDeletion* walk) {
  if (walk->stop_requested != 0) return true;
  return walk->deadline_tick != 0 && GetTickCount64() >= walk->deadline_tick;
}

static bool append_name(wchar_t* path, const wchar_t* name) {
  size_t used = wcslen(path);
  size_t length = wcslen(name);
  if (used + 1 + length + 1 > EXTENDED_PATH_CAPACITY) return false;
  path[used] = L'\\';
  wmemcpy(path + used + 1, name, length + 1);
  return true;
}

static void cut_last_name(wchar_t* path) {
  wchar_t* last_backslash = wcsrchr(path, L'\\');
  if (last_backslash != nullptr) *last_backslash = L'\0';
}

// Starts listing the directory at walk->path; the first entry lands in found.
static HANDLE open_listing(TreeDeletion* walk, WIN32_FIND_DATAW* found) {
  size_t used = wcslen(walk->path);
  if (used + 3 > EXTENDED_PATH_CAPACITY) return INVALID_HANDLE_VALUE;
  wmemcpy(walk->path + used, L"\\*", 3);
  // The basic level skips the short names, which nothing here needs.
  HANDLE listing = FindFirstFileExW(walk->path, FindExInfoBasic, found, FindExSearchNameMatch,
                                    /*lpSearchFilter=*/nullptr, FIND_FIRST_EX_LARGE_FETCH);
  walk->path[used] = L'\0';
  return listing;
}

static void close_listings(TreeDeletion* walk, int depth) {
  for (int level = 0; level <= depth; ++level) {
    if (walk->searches[level] != INVALID_HANDLE_VALUE) FindClose(walk->searches[level]);
  }
}

bool delete_tree(const wchar_t* path, TreeDeletion* walk) {
  if (!make_extended_path(walk->path, path, EXTENDED_PATH_CAPACITY)) return false;
  DWORD attributes = GetFileAttributesW(walk->path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    delete_entry(walk->path, attributes);
    return GetFileAttributesW(walk->path) == INVALID_FILE_ATTRIBUTES;
  }
  clear_read_only(walk->path, attributes);

  // walk->path is the directory being listed at each depth; searches[depth]
  // lists it. A directory is removed once its listing has run out.
  WIN32_FIND_DATAW found;
  int depth = 0;
  walk->searches[0] = open_listing(walk, &found);
  bool have_entry = walk->searches[0] != INVALID_HANDLE_VALUE;
  for (;;) {
    if (!have_entry && walk->searches[depth] != INVALID_HANDLE_VALUE) {
      have_entry = FindNextFileW(walk->searches[depth], &found) != FALSE;
    }
    if (tree_deletion_stopped(walk)) {
      close_listings(walk, depth);
      return false;
    }
    if (!have_entry) {
      if (walk->searches[depth] != INVALID_HANDLE_VALUE) FindClose(walk->searches[depth]);
      RemoveDirectoryW(walk->path);
      if (depth == 0) break;
      cut_last_name(walk->path);
      --depth;
      continue;
    }
    have_entry = false;
    if (is_dot_entry(found.cFileName)) continue;
    // A name that would not fit cannot be reached; it stays.
    if (!append_name(walk->path, found.cFileName)) continue;
    DWORD entry_attributes = found.dwFileAttributes;
    bool real_directory = (entry_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          (entry_attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (real_directory && depth + 1 < TREE_DELETION_MAX_DEPTH) {
      clear_read_only(walk->path, entry_attributes);
      ++depth;
      walk->searches[depth] = open_listing(walk, &found);
      have_entry = walk->searches[depth] != INVALID_HANDLE_VALUE;
      continue;
    }
    delete_entry(walk->path, entry_attributes);
    cut_last_name(walk->path);
  }
  return GetFileAttributesW(walk->path) == INVALID_FILE_ATTRIBUTES;
}
