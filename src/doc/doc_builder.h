// Builds a Palm Doc database from a text file: header, DocInfo, and the text
// cut into 4,096-byte records, stored plainly or compressed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/progress_sink.h"
#include "doc/bookmark_records.h"
#include "doc/compression_library.h"
#include "doc/doc_status.h"

namespace lum2 {

struct DocBuildRequest {
    std::string textPath;      // the (filtered) text
    std::string databaseName;  // at most 31 bytes are stored
    bool compressed = false;
    int category = 0;  // 0 to 255; only the low four bits are stored
    int jobs = 0;      // threads compressing records; 0: one per core
    // Written after the text records in this order (the text's); as many
    // as fit beside the text records, the rest dropped with a note.
    std::vector<Bookmark> bookmarks;
};

// Writes the database into doc, an empty file open for writing. Shows
// "Compression" progress, one step per record, with the tray picture
// alternating; tells progress.Note how many bookmarks were dropped, if any. Returns DocOk(), or the failure: kDocTextEmpty,
// kDocTextTooLong, kDocHeaderNotWritten, kDocInfoNotWritten,
// kDocRecordNotWritten, or kDocFailed for a category beyond 255, a text that
// cannot be opened (with its cause, which progress is told too) or read, a
// missing codec operation, a record the codec refuses, a failed flush, no
// memory or no thread. Throws nothing.
Outcome BuildDocFile(const DocBuildRequest& request, std::FILE* doc, const CodecFunctions& codec,
                     ProgressSink& progress);

}  // namespace lum2
