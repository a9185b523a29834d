#pragma once

#include "foundation/RCFileEnumeratorCallback.h"

#include <cstdint>
#include <string>

// Walks a directory tree depth first: the files of a directory, in the order
// the system lists them, before the walk of each of its sub-directories in
// turn. Reparse points (junctions, directory links) are not entered, so a
// link back to an ancestor cannot make the walk endless. A directory that
// cannot be listed contributes nothing.
// Returns 0 after the whole tree, the callback's first non-zero answer, or
// E_INVALIDARG without a callback.
uint32_t RCEnumerateFiles(const std::wstring& directory, RC::RCFileEnumeratorCallback* callback);

// The full path of an entry the walk found in directory. Unlike RCPathJoin it
// takes the name as the file system gave it (a name may hold quotes).
std::wstring RCJoinFoundEntry(const std::wstring& directory, const std::wstring& name);
