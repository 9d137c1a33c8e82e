// Start-up and shutdown of the desktop program.
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace lum2::shell {

inline constexpr const char* kShortTitle = "LUM2 V1.10";
inline constexpr const char* kFullTitle = "LUM2 V1.10 - text to Palm Doc and back";

struct StartOptions {
    QStringList arguments;                   // the words after the program's name
    QString baseDirectory;                   // empty: the working directory
    std::vector<std::string> libraryFolders; // empty: base directory, beside the program, installed
    QString instanceName;                    // empty: one per user
};

// Brings the program up in the order of its start-up steps, runs it (the
// event loop, or the command-line conversion) and shuts it down. Returns the
// exit code.
int RunLum2(const StartOptions& options);

}  // namespace lum2::shell
