#pragma once
// Files that are not what their name promises, told apart before any reader
// sees them, so that the message names what the file is rather than what a
// reader of another format finds wrong with it: a Git LFS pointer (what a
// clone made without Git LFS holds in place of each large file), and the
// formats nothing here reads, known by their extension or their first bytes.

#include <string>

namespace hostapp {

// Why the file at path is not read, as the end of "cannot read PATH: ...";
// empty when nothing speaks against reading it.
std::string ForeignFileReason(const std::string& path);

}  // namespace hostapp
