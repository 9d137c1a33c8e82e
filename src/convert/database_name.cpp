#include "convert/database_name.h"

#include <cstdio>

#include "base/file_handle.h"
#include "base/path_functions.h"
#include "base/safe_file.h"
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
    return GivenDatabaseName(BaseName(FileNamePart(palmPath)), true);
}

std::string GivenDatabaseName(const std::string& title, bool toPalmSet) {
    std::string name = title;
    if (toPalmSet) {
        Utf8Scanner scanner;
        scanner.Feed(name);
        if (scanner.Valid()) {
            name = PalmFromUtf8(name);
            // Each byte of the Palm set is a whole character.
            if (name.size() > kDatabaseNameLength) name.resize(kDatabaseNameLength);
            return name;
        }
    }
    name.resize(Utf8CutLength(name, kDatabaseNameLength));
    return name;
}

namespace {

// The first line of the text that holds more than blanks, trimmed, with
// control characters made blanks; empty when there is none in its first 64 KB.
std::string FirstLineOf(const std::string& textPath, bool palmSet) {
    constexpr std::size_t kLooked = std::size_t{1} << 16;
    std::string cause;
    FileHandle text(OpenRegularStream(textPath, cause));
    if (!text) return {};
    std::string head(kLooked, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), text.get()));
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find('\n', start);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(start, end - start);
        for (char& c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
        }
        line = RightTrim(line);
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty()) {
            // Already in the set the document holds: only the cut is left.
            if (palmSet) {
                if (line.size() > kDatabaseNameLength) line.resize(kDatabaseNameLength);
            } else {
                line.resize(Utf8CutLength(line, kDatabaseNameLength));
            }
            return RightTrim(line);
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

std::string NewDatabaseName(const std::string& palmPath, const std::string& pcPath, bool toPalmSet,
                            const std::string& textPath) {
    for (const std::string* path : {&palmPath, &pcPath}) {
        std::string name = toPalmSet ? PalmDatabaseName(*path) : DatabaseName(*path);
        if (!name.empty()) return name;
    }
    if (!textPath.empty()) {
        std::string name = FirstLineOf(textPath, toPalmSet);
        if (!name.empty()) return name;
    }
    return "Untitled";
}

}  // namespace lum2
