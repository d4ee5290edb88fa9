// Paths as the cutter and the split name and compare them.
#pragma once

#include <string>

namespace pelcato {

// True when both paths name the same file (same device and inode), through any spelling,
// symbolic link or hard link.
bool IsSameFile(const std::string& a, const std::string& b);

// True when something has that name: a file, a folder, or a link, even one that leads nowhere.
bool PathExists(const std::string& path);

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// name in folder: a folder given without a trailing "/" gets one; no folder means the current
// one (name as it is).
std::string JoinPath(const std::string& folder, const std::string& name);

// A path that is a symbolic link resolved to the file it points to; any other path as it is.
// Destinations are written where their link points, as editors do.
std::string ResolveLink(const std::string& path);

}  // namespace pelcato
