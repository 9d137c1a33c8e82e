#include "doc/bookmark_records.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "doc/doc_extractor.h"
#include "doc/doc_status.h"

namespace lum2 {

Bytes BuildBookmarkRecord(const Bookmark& bookmark) {
    Bytes record(kBookmarkRecordSize, 0);
    const std::size_t length = std::min<std::size_t>(bookmark.name.size(), kBookmarkNameLength);
    std::memcpy(record.data() + kBookmarkNameOffset, bookmark.name.data(), length);
    PutLong(record.data() + kBookmarkTextOffset, bookmark.offset);
    return record;
}

bool ParseBookmarkRecord(const uint8_t* data, std::size_t size, Bookmark& bookmark) {
    if (size != static_cast<std::size_t>(kBookmarkRecordSize)) return false;
    const auto* name = reinterpret_cast<const char*>(data + kBookmarkNameOffset);
    bookmark.name.assign(name, strnlen(name, kBookmarkNameField));
    bookmark.offset = GetLong(data + kBookmarkTextOffset);
    return true;
}

int BookmarksThatFit(int textRecords, std::size_t wanted) {
    const int room = std::max(kMaximumRecords - 1 - textRecords, 0);
    return static_cast<int>(std::min<std::size_t>(wanted, static_cast<std::size_t>(room)));
}

Outcome ReadDocBookmarks(std::FILE* doc, std::vector<Bookmark>& bookmarks) {
    bookmarks.clear();
    PalmRecordReader reader(doc);
    PalmHeader header;
    DocInfo info;
    Outcome checked = CheckDocRecords(doc, reader, header, info);
    if (!checked.Ok()) return checked;
    // The record lists hold at most 256 lists of 65,535 entries, but a
    // database has at most 65,535 records: entries past that are no one's.
    const int64_t total = std::min<int64_t>(header.totalRecords, kMaximumRecords);
    try {
        reader.ReadEntries(total);
    } catch (const DocIoError&) {
        return kDocFailed;
    }
    for (int64_t index = int64_t{info.recordCount} + 1; index < total; ++index) {
        uint8_t attribute = 0;
        const uint8_t* data = nullptr;
        std::size_t size = 0;
        if (reader.ReadRecord(static_cast<int>(index), attribute, data, size) != 0) continue;
        Bookmark bookmark;
        if (ParseBookmarkRecord(data, size, bookmark)) bookmarks.push_back(std::move(bookmark));
    }
    return DocOk();
}

}  // namespace lum2
