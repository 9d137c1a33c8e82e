// The name a document gets on the handheld, from the names of its files.
#pragma once

#include <string>

namespace lum2 {

// The database name for a Palm file path: its file-name part without the last
// extension, cut to 31 bytes, never within a UTF-8 character.
std::string DatabaseName(const std::string& palmPath);

// The same, converted to the Palm set before its 31-byte cut when the file
// name is UTF-8.
std::string PalmDatabaseName(const std::string& palmPath);

// The name a new document is given: that of the Palm path, else (a Palm file
// named ".pdb") that of the PC path, else "Untitled", since a database
// without a name names nothing on the handheld. toPalmSet: as
// PalmDatabaseName, else as DatabaseName.
std::string NewDatabaseName(const std::string& palmPath, const std::string& pcPath, bool toPalmSet);

}  // namespace lum2
