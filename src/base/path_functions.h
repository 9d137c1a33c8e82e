// Path helpers shared by the converters, the editor and the store, on the
// platform's separator ("/" here; "\" and "/" on Windows).
#pragma once

#include <string>

// RightTrim: paths read back from the store are trimmed before use.
#include "base/text_helpers.h"

namespace lum2 {

// The text after the last separator; the whole text without one; empty when
// the path ends with a separator.
std::string FileNamePart(const std::string& path);
// The text up to and including the last separator; empty without one.
std::string DirectoryPart(const std::string& path);
// The text before the last "."; the whole text without one.
std::string BaseName(const std::string& name);
// The text from the last "." to the end, dot included; empty without one.
std::string ExtensionPart(const std::string& name);
// 1: a regular file exists and its modification time can be read;
// 0: no such file; -1: the path is not valid or the file system fails.
int FileProbe(const std::string& path);

// A path of a task as the file system must see it: a relative one is taken
// relative to folder (the base folder, which ends with a separator), so a
// task means the same file wherever the program was started from.
std::string InFolder(const std::string& folder, const std::string& path);

// The platform's path separator.
char PathSeparator();

// Makes sure folder exists; every level it creates gets mode 0700, since the
// task list kept there names the user's files. Returns the reason when it
// fails ("/a/b: Permission denied"), else "".
std::string CreatePrivateFolder(const std::string& folder);

}  // namespace lum2
