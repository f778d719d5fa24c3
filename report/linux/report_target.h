// Where a report path leads: symbolic links are followed to the file they name, existing or not,
// so that the link itself stays a link and a dangling one gets its target created.
#pragma once

#include <string>

namespace trelmoss {

// The folder part of `path` ("." for a bare name, "/" for a name in the root).
std::string DirectoryOf(const std::string& path);

// The whole text of the symbolic link `path` into `contents`; 0 or the error number.
int ReadSymbolicLink(const std::string& path, std::string& contents);

// Follows `path` through every symbolic link, each relative target taken from its link's folder,
// into `target`. Returns 0, or ELOOP after more links than the system itself follows, or the
// error of reading a link.
int FollowLinks(const std::string& path, std::string& target);

}  // namespace trelmoss
