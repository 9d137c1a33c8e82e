// The bookmark records of a Doc: after the text records, one record per
// bookmark, which the handheld's readers list as the book's table of
// contents. DocInfo counts the text records only, so a reader that knows
// nothing of bookmarks reads the text as before.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/outcome.h"
#include "doc/palm_doc_format.h"
#include "text/bookmark_marks.h"

namespace lum2 {

// A bookmark record: the name in 16 bytes (at most 15 of them, NUL-padded,
// so the name always ends in a NUL) and the 32-bit big-endian offset of the
// bookmark in the decoded text.
inline constexpr int kBookmarkRecordSize = 20;
inline constexpr int kBookmarkNameOffset = 0;
inline constexpr int kBookmarkNameField = 16;
inline constexpr int kBookmarkNameLength = kBookmarkNameField - 1;
inline constexpr int kBookmarkTextOffset = 16;
static_assert(kBookmarkTextOffset + 4 == kBookmarkRecordSize, "the offset ends the record");
// A database holds at most 65,535 records: DocInfo, the text records and the
// bookmarks share them.
inline constexpr int kMaximumRecords = 65535;

// The 20 bytes of a bookmark record. The name is cut to 15 bytes as it
// stands: the caller cuts it at a character boundary first.
Bytes BuildBookmarkRecord(const Bookmark& bookmark);

// Fills bookmark from a record of exactly kBookmarkRecordSize bytes (its
// name up to the first NUL) and returns true; false for a record of any
// other size, which is some other kind of record.
bool ParseBookmarkRecord(const uint8_t* data, std::size_t size, Bookmark& bookmark);

// How many of wanted bookmarks fit beside textRecords text records.
int BookmarksThatFit(int textRecords, std::size_t wanted);

// Reads the bookmarks of an open Doc file: the records after its text
// records that have a bookmark's size, in record order (which writers keep
// in text order). Returns DocOk() with bookmarks filled (none for a Doc
// without any), a failure of CheckDocFile, or kDocFailed when the record list
// cannot be read. A record that cannot be read is skipped: the text does not
// depend on it. Throws nothing but std::bad_alloc.
Outcome ReadDocBookmarks(std::FILE* doc, std::vector<Bookmark>& bookmarks);

}  // namespace lum2
