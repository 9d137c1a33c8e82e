#include "convert/clipboard_name.h"

#include <cstdio>

#include "base/path_functions.h"

namespace lum2 {

std::string ResolveClipboardName(const std::string& name, const std::string& home) {
    std::string n = RightTrim(name);
    if (n.empty()) {
        n = home + kClipboardFileName;
    } else if (DirectoryPart(n).empty()) {
        n = home + n;
    } else if (FileNamePart(n).empty()) {
        n += kClipboardFileName;
    }
    if (FileProbe(n) < 0) n = home + kClipboardFileName;
    return n;
}

std::string CountedName(const std::string& name, int counter) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", counter);
    const std::string number = std::string(digits).substr(std::string(digits).size() - 3);
    // The stem and extension come from the file name, so a dot in a folder's
    // name never takes the number.
    const std::string file = FileNamePart(name);
    const std::string stem = BaseName(file).substr(0, 28);
    return DirectoryPart(name) + stem + number + ExtensionPart(file);
}

int NextCounter(int counter) {
    const int next = counter + 1;
    return next > 999 ? 1 : next;
}

}  // namespace lum2
