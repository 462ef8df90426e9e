// Symbolic links made on the Unix side of Wine: Win32 calls cannot create
// links or junctions under Wine, but Wine shows a Unix symbolic link to a
// directory as a directory reparse point, and one to a file as a file.
#pragma once

#include <string>

// Makes link, a Unix symbolic link to target; both are Windows paths of
// the running Wine. False when either has no Unix name or ln fails.
bool make_unix_symlink(const std::wstring& target, const std::wstring& link);

// Removes path and everything below it with the Unix rm, which never
// follows a link; for trees that hold links, which the shell's deletion of
// the other helpers may follow.
bool remove_unix_tree(const std::wstring& path);

// A fresh, existing, empty directory "test_<tag>" in the temporary
// directory, for trees that hold links: whatever an earlier run left there
// is removed with remove_unix_tree.
std::wstring fresh_link_scratch_directory(const wchar_t* tag);
