// Reads a Palm Doc database, validates it and writes its text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/progress_sink.h"
#include "doc/bookmark_records.h"
#include "doc/compression_library.h"
#include "doc/doc_status.h"
#include "doc/palm_doc_format.h"

namespace lum2 {

// Checks the header and the DocInfo of an open Doc file. Returns DocOk()
// with header and info (the category too) filled, or the first check that fails:
// kDocHeaderUnknown, kDocTypeUnsupported, kDocTooFewRecords, kDocNoDocInfo,
// kDocInfoUnknown, or kDocFailed when the file cannot be read. The cause
// says what a file that is no Doc holds: one too short for a header is
// kDocHeaderUnknown ("81 bytes, no Palm database header", "the file is
// empty"); a picture or a text renamed .pdb is kDocTypeUnsupported, as any
// header without the Doc's type and creator is, with what its bytes are
// ("not a Palm database: 14,201 bytes of JPEG data"), and a database of
// another kind has its type and creator in the cause, which holds the file's
// bytes and is escaped where shown. Throws nothing but std::bad_alloc.
Outcome CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info);
// The same through a reader the caller goes on to read records with.
Outcome CheckDocRecords(std::FILE* doc, PalmRecordReader& reader, PalmHeader& header, DocInfo& info);

// Writes the text of the Doc database doc into text, record by record, with
// no separator and no byte changed (toUtf8: converted from the Palm set to
// UTF-8, unless the whole text is valid UTF-8 with bytes beyond ASCII
// already: then its bytes are kept, and progress.Note says so before anything
// is written). Progress: one step per record. Returns DocOk(), a failure of
// CheckDocFile, kDocCorrupt for a text record that cannot be read or does
// not decode, or kDocFailed for a compressed document without a decoder or
// a failed read or write; on failure text holds some part of the text,
// which the caller discards. With marks, an inline bookmark mark is written
// before the text at each bookmark's offset (those at or past the end after
// it), so the text encoded with bookmarks gives the same bookmarks back.
// Throws nothing but std::bad_alloc.
Outcome ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec, ProgressSink& progress,
                       bool toUtf8 = false, const std::vector<Bookmark>* marks = nullptr);

}  // namespace lum2
