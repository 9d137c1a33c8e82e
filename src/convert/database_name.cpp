#include "convert/database_name.h"

#include <cstdint>

#include "base/path_functions.h"
#include "doc/palm_doc_format.h"
#include "text/palm_charset.h"

namespace lum2 {

std::string DatabaseName(const std::string& palmPath) {
    std::string name = BaseName(FileNamePart(palmPath));
    if (name.size() > kDatabaseNameLength) {
        std::size_t cut = kDatabaseNameLength;
        // Never leave half of a UTF-8 sequence at the end of the name.
        while (cut > 0 && (static_cast<uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
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
