// Builds a Palm Doc database from a text file: header, DocInfo, and the text
// cut into 4,096-byte records, stored plainly or compressed.
#pragma once

#include <cstdio>
#include <string>

#include "doc/compression_library.h"
#include "base/progress_sink.h"

namespace lum2 {

struct DocBuildRequest {
    std::string textPath;      // the (filtered) text
    std::string databaseName;  // at most 31 bytes are stored
    bool compressed = false;
    int category = 0;          // 0 to 255; only the low four bits are stored
    int jobs = 0;              // threads compressing records; 0: one per core
};

inline constexpr const char* kStatusOk = "OK";
inline constexpr const char* kStatusGenericError = "Error: Could not open Palm or PC File";
inline constexpr const char* kStatusTextTooLong =
    "Error: PC File too long for a Palm File (more than 65,534 records of 4,096 bytes)";

// Writes the database into doc, an empty file open for writing. Returns "OK",
// or the status text of the failure. Shows "Compression" progress, one step
// per record, with the tray picture alternating.
std::string BuildDocFile(const DocBuildRequest& request, std::FILE* doc,
                         const CodecFunctions& codec, ProgressSink& progress);

}  // namespace lum2
