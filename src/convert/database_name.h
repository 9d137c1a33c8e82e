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

// A name given as it stands (a title): cut to 31 bytes, never within a
// UTF-8 character; toPalmSet: converted to the Palm set first when UTF-8.
std::string GivenDatabaseName(const std::string& title, bool toPalmSet);

// The name a new document is given: that of the Palm path, else (a Palm file
// named ".pdb", or none) that of the PC path, else the first line of the
// text at textPath that is not blank (as the document holds it: already in
// the Palm set when toPalmSet), else "Untitled", since a database without a
// name names nothing on the handheld. toPalmSet: the paths' names as
// PalmDatabaseName, else as DatabaseName. Reads at most 64 KB of the text;
// one that cannot be read gives no name. Throws nothing but std::bad_alloc.
std::string NewDatabaseName(const std::string& palmPath, const std::string& pcPath, bool toPalmSet,
                            const std::string& textPath = {});

}  // namespace lum2
