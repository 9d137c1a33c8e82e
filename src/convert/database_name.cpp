#include "convert/database_name.h"

#include "base/path_functions.h"
#include "base/text_helpers.h"
#include "doc/palm_doc_format.h"
#include "text/palm_charset.h"

namespace lum2 {

std::string DatabaseName(const std::string& palmPath) {
    std::string name = BaseName(FileNamePart(palmPath));
    // Never leave half of a UTF-8 sequence at the end of the name.
    name.resize(Utf8CutLength(name, kDatabaseNameLength));
    return name;
}

std::string PalmDatabaseName(const std::string& palmPath) {
    const std::string name = BaseName(FileNamePart(palmPath));
    Utf8Scanner scanner;
    scanner.Feed(name);
    if (!scanner.Valid()) return DatabaseName(palmPath);
    std::string converted = PalmFromUtf8(name);
    if (converted.size() > kDatabaseNameLength) converted.resize(kDatabaseNameLength);
    return converted;
}

std::string NewDatabaseName(const std::string& palmPath, const std::string& pcPath, bool toPalmSet) {
    for (const std::string* path : {&palmPath, &pcPath}) {
        std::string name = toPalmSet ? PalmDatabaseName(*path) : DatabaseName(*path);
        if (!name.empty()) return name;
    }
    return "Untitled";
}

}  // namespace lum2
