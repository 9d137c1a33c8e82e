#include "doc/doc_extractor.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/block_writer.h"
#include "doc/doc_status.h"
#include "lum2/lum2.h"
#include "text/bookmark_marks.h"
#include "text/palm_charset.h"

namespace lum2 {

Outcome CheckDocRecords(PalmRecordReader& reader, PalmHeader& header, DocInfo& info) {
    try {
        if (reader.ReadHeader(header) != 0) return kDocHeaderUnknown;
        if (header.type != "TEXt" || header.creator != "REAd") {
            return kDocTypeUnsupported;
        }
        if (header.totalRecords < 2) return kDocTooFewRecords;
        reader.ReadEntries(1);
        Bytes record0;
        uint8_t attribute = 0;
        if (reader.ReadRecord(0, attribute, record0) != 0) {
            return kDocNoDocInfo;
        }
        if (ParseDocInfo(record0, header.totalRecords, info) != 0) {
            return kDocInfoUnknown;
        }
        info.category = attribute & 0x0F;
        return DocOk();
    } catch (const DocIoError&) {
        return kDocFailed;
    }
}

Outcome CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info) {
    PalmRecordReader reader(doc);
    return CheckDocRecords(reader, header, info);
}

namespace {

// Writes the text with an inline mark before each bookmark, the marks in
// the character set the text is written in.
class MarkedText {
public:
    MarkedText(const std::vector<Bookmark>& marks, bool toUtf8) : marks_(marks), toUtf8_(toUtf8) {
        std::stable_sort(marks_.begin(), marks_.end(),
                         [](const Bookmark& a, const Bookmark& b) { return a.offset < b.offset; });
    }

    // Appends the piece of text that starts at offset, marks where they stand.
    bool Append(BlockWriter& out, const uint8_t* data, std::size_t size, int64_t offset) {
        std::size_t done = 0;
        while (next_ < marks_.size() && marks_[next_].offset < offset + static_cast<int64_t>(size)) {
            const auto upTo = static_cast<std::size_t>(std::max<int64_t>(marks_[next_].offset - offset, 0));
            if (upTo > done && !Put(out, data + done, upTo - done)) return false;
            done = std::max(done, upTo);
            if (!PutMark(out, marks_[next_++])) return false;
        }
        return Put(out, data + done, size - done);
    }

    // The marks of bookmarks at or past the end of the text.
    bool Finish(BlockWriter& out) {
        while (next_ < marks_.size()) {
            if (!PutMark(out, marks_[next_++])) return false;
        }
        return true;
    }

private:
    bool Put(BlockWriter& out, const uint8_t* data, std::size_t size) {
        if (!toUtf8_) return out.Append(data, size);
        converted_.clear();
        AppendUtf8FromPalm(std::string_view(reinterpret_cast<const char*>(data), size), converted_);
        return out.Append(reinterpret_cast<const uint8_t*>(converted_.data()), converted_.size());
    }

    bool PutMark(BlockWriter& out, const Bookmark& mark) {
        const std::string text = InlineBookmarkMark(mark.name);
        return Put(out, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    std::vector<Bookmark> marks_;
    bool toUtf8_;
    std::size_t next_ = 0;
    std::string converted_;
};

}  // namespace

Outcome ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec, ProgressSink& progress,
                       bool toUtf8, const std::vector<Bookmark>* marks) {
    PalmRecordReader reader(doc);
    PalmHeader header;
    DocInfo info;
    Outcome checked = CheckDocRecords(reader, header, info);
    if (!checked.Ok()) return checked;
    if (info.version != 1 && codec.DeCompress == nullptr) {
        return kDocFailed;
    }

    const int n = info.recordCount;
    try {
        reader.ReadEntries(int64_t{n} + 1);
    } catch (const DocIoError&) {
        return kDocFailed;
    }
    progress.SetProgressRange(n);
    progress.SetProgressValue(0);
    progress.LetEventsRun();

    BlockWriter out(text);
    std::optional<MarkedText> marked;
    if (marks != nullptr && !marks->empty()) marked.emplace(*marks, toUtf8);
    // Marked text is written piece by piece, so it is decoded aside first.
    const bool direct = !toUtf8 && !marked;
    std::vector<uint8_t> plain(kLargestRecordText);
    std::string utf8;
    int64_t textSoFar = 0;
    for (int i = 1; i <= n; ++i) {
        progress.SetProgressValue(i);
        progress.SetTrayIcon(TrayFrame(i, n), "");
        progress.LetEventsRun();

        uint8_t attribute = 0;
        const uint8_t* data = nullptr;
        std::size_t size = 0;
        if (reader.ReadRecord(i, attribute, data, size) != 0) return kDocCorrupt;
        // An empty record is an empty piece of text, as some writers end a
        // text of whole records; but one at the very end of the file while
        // DocInfo still owes text is a file cut short at a record boundary.
        if (size == 0 && reader.StartsAtEnd(i) && textSoFar < int64_t{info.textLength}) {
            return kDocCorrupt;
        }

        if (info.version != 1) {
            // A record that does not decode exactly is damaged, not a text to guess at.
            // One pass: the decoder fails a record whose tokens run out of
            // bounds or decode to more than the room it is given.
            if (size > static_cast<std::size_t>(INT32_MAX)) return kDocCorrupt;
            const int32_t recordSize = static_cast<int32_t>(size);
            // Decoded straight into the output block unless it is converted first.
            if (direct && !out.Reserve(kLargestRecordText)) return kDocFailed;
            uint8_t* into = direct ? out.Tail() : plain.data();
            const int32_t expected = codec.DeCompress(into, kLargestRecordText, data, recordSize);
            if (expected < 0) return kDocCorrupt;
            textSoFar += expected;
            if (direct) {
                out.Advance(static_cast<std::size_t>(expected));
                continue;
            }
            data = into;
            size = static_cast<std::size_t>(expected);
        } else {
            if (size > static_cast<std::size_t>(kLargestRecordText)) return kDocCorrupt;
            textSoFar += static_cast<int64_t>(size);
        }
        if (marked) {
            if (!marked->Append(out, data, size, textSoFar - static_cast<int64_t>(size))) return kDocFailed;
            continue;
        }
        if (toUtf8) {
            // Each byte is a whole character, so records convert one by one.
            utf8.clear();
            AppendUtf8FromPalm(std::string_view(reinterpret_cast<const char*>(data), size), utf8);
            data = reinterpret_cast<const uint8_t*>(utf8.data());
            size = utf8.size();
        }
        if (!out.Append(data, size)) return kDocFailed;
    }
    if (marked && !marked->Finish(out)) return kDocFailed;
    if (!out.Flush() || std::fflush(text) != 0) return kDocFailed;
    return DocOk();
}

}  // namespace lum2
