// Deletes a directory tree with a walk of its own: every path in the
// extended-length form, so no length limit applies below the tree; files
// first, then each directory once it is empty; and every link, junction or
// other reparse point deleted as the entry itself, never followed, so that a
// link planted inside the tree can never take the deletion outside it.
#pragma once

#include <windows.h>

// The longest path the system takes in the extended-length form, with its
// terminator.
enum { EXTENDED_PATH_CAPACITY = 32768 };
// Every level of a tree adds a backslash and at least one unit to a path, so
// no walk within EXTENDED_PATH_CAPACITY goes deeper than this.
enum { TREE_DELETION_MAX_DEPTH = EXTENDED_PATH_CAPACITY / 2 };

// The working room of one walk. A walk uses no other memory, so a thread that
// deletes trees owns one of these and a walk never waits for the heap.
struct TreeDeletion {
  // Set by another thread to end the walk early, between two entries.
  volatile LONG stop_requested;
  // A GetTickCount64 value after which the walk ends early; 0 for none.
  ULONGLONG deadline_tick;
  wchar_t path[EXTENDED_PATH_CAPACITY];
  HANDLE searches[TREE_DELETION_MAX_DEPTH];
  // The path the system gives for the directory being listed, and for the
  // entry about to be deleted: what a file's handle reaches is compared with
  // where it was listed before the file is deleted.
  wchar_t listed_directory[EXTENDED_PATH_CAPACITY];
  wchar_t reached[EXTENDED_PATH_CAPACITY];
};

// True once the walk has been asked to stop or its deadline has passed.
bool tree_deletion_stopped(const TreeDeletion* walk);

// Writes into extended the extended-length form of the absolute path:
// "\\?\C:\dir", "\\?\UNC\server\share\dir", or the path itself when it has
// that form already. Gives false, leaving extended empty, when the result
// would not fit in capacity units or path is not absolute.
bool make_extended_path(wchar_t* extended, const wchar_t* path, size_t capacity);

// Deletes what is at the absolute path: a directory with everything below
// it, or a single file or link. Read-only attributes are cleared first.
// Entries that cannot be deleted (a file held open, a reparse point the
// system will not remove) stay, together with the directories above them;
// everything else goes. Gives true when nothing is left at the path.
bool delete_tree(const wchar_t* path, TreeDeletion* walk);
