// Reads a Palm Doc database, validates it and writes its text.
#pragma once

#include <cstdio>
#include <string>

#include "doc/compression_library.h"
#include "doc/palm_doc_format.h"
#include "base/progress_sink.h"

namespace lum2 {

// Checks the header and the DocInfo of an open Doc file. Returns "OK" with
// header and info filled, or the status text of the first check that fails.
std::string CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info);

// Writes the text of the Doc database doc into text, record by record, with
// no separator and no byte changed (toUtf8: converted from the Palm set to
// UTF-8). Returns "OK" or the status of the failure; on failure text holds
// some part of the text, which the caller discards. Progress: one step per
// record.
std::string ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec,
                           ProgressSink& progress, bool toUtf8 = false);

}  // namespace lum2
