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

static HANDLE open_entry_itself(const wchar_t* path, DWORD access) {
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                     /*hTemplateFile=*/nullptr);
}

// The attributes without read-only, as basic information takes them. Zero
// times in that information leave the entry's times as they are.
static DWORD settable_attributes(DWORD attributes) {
  DWORD settable = attributes & SETTABLE_ATTRIBUTES;
  return settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
}

// Through a handle opened on the entry itself, so that the attributes of a
// link change and never those of what it points to.
static void clear_read_only(const wchar_t* path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  HANDLE entry = open_entry_itself(path, FILE_WRITE_ATTRIBUTES);
  if (entry == INVALID_HANDLE_VALUE) return;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = settable_attributes(attributes);
  SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
  CloseHandle(entry);
}

// The path that handle reaches, without its volume (which spares the
// system a volume lookup); empty when the system cannot tell.
static void reached_path(HANDLE handle, wchar_t* path) {
  DWORD length = GetFinalPathNameByHandleW(handle, path, EXTENDED_PATH_CAPACITY,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
  if (length == 0 || length >= EXTENDED_PATH_CAPACITY) path[0] = L'\0';
}

static void note_listed_directory(TreeDeletion* walk) {
  walk->listed_directory[0] = L'\0';
  HANDLE directory = open_entry_itself(walk->path, FILE_READ_ATTRIBUTES);
  if (directory == INVALID_HANDLE_VALUE) return;
  reached_path(directory, walk->listed_directory);
  CloseHandle(directory);
}

// True unless the handle reaches something other than the entry name of the
// directory being listed. Windows opens a link itself here, so this holds;
// where a link cannot be opened as itself (Wine shows a symbolic link to a
// file as a plain file and opens its target), the file is left alone.
static bool reaches_listed_entry(TreeDeletion* walk, HANDLE entry, const wchar_t* name) {
  reached_path(entry, walk->reached);
  if (walk->listed_directory[0] == L'\0' || walk->reached[0] == L'\0') return true;
  size_t directory_length = wcslen(walk->listed_directory);
  return _wcsnicmp(walk->reached, walk->listed_directory, directory_length) == 0 &&
         walk->reached[directory_length] == L'\\' &&
         _wcsicmp(walk->reached + directory_length + 1, name) == 0;
}

// A file, or a link to a file: deleted through a handle on the entry itself.
static void delete_file_entry(TreeDeletion* walk, const wchar_t* name, DWORD attributes) {
  HANDLE entry = open_entry_itself(walk->path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (entry == INVALID_HANDLE_VALUE) return;
  if (reaches_listed_entry(walk, entry, name)) {
    // A read-only file refuses its deletion.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      FILE_BASIC_INFO basic = {};
      basic.FileAttributes = settable_attributes(attributes);
      SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {/*DeleteFile=*/TRUE};
    SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
  }
  CloseHandle(entry);
}

// A directory, or a link to one (a junction, a directory symbolic link):
// RemoveDirectoryW removes a link itself, never what it points to.
static void delete_directory_entry(const wchar_t* path, DWORD attributes) {
  clear_read_only(path, attributes);
  RemoveDirectoryW(path);
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
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // A file stands where the directory was: nothing to compare it with.
    walk->listed_directory[0] = L'\0';
    const wchar_t* last_backslash = wcsrchr(walk->path, L'\\');
    delete_file_entry(walk, last_backslash + 1, attributes);
    return GetFileAttributesW(walk->path) == INVALID_FILE_ATTRIBUTES;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    delete_directory_entry(walk->path, attributes);
    return GetFileAttributesW(walk->path) == INVALID_FILE_ATTRIBUTES;
  }
  clear_read_only(walk->path, attributes);
  note_listed_directory(walk);

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
      note_listed_directory(walk);
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
      note_listed_directory(walk);
      walk->searches[depth] = open_listing(walk, &found);
      have_entry = walk->searches[depth] != INVALID_HANDLE_VALUE;
      continue;
    }
    if ((entry_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      delete_directory_entry(walk->path, entry_attributes);
    } else {
      delete_file_entry(walk, found.cFileName, entry_attributes);
    }
    cut_last_name(walk->path);
  }
  return GetFileAttributesW(walk->path) == INVALID_FILE_ATTRIBUTES;
}
