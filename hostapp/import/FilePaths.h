#pragma once
// Paths as every part of the import reads them: a file's extension and
// folder, whether it exists, and finding files whose names ignore case.

#include <string>

namespace hostapp {

// The file name's extension in lower case, or empty.
std::string Extension(const std::string& path);
// The file name of path without its folder and extension.
std::string Stem(const std::string& path);
// The folder of path, "." for a bare file name.
std::string Directory(const std::string& path);
// Whether path names a regular file; a folder.
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
// text with A to Z in lower case: how names that ignore case are compared.
std::string Lower(std::string text);
// text with a to z in upper case: how formats are named in messages.
std::string Upper(std::string text);
// The regular file in folder whose name is name in any case: the exact
// spelling when there is one, otherwise the first in name order; empty when
// there is none.
std::string FileInAnyCase(const std::string& folder, const std::string& name);

}  // namespace hostapp
