#include "doc/doc_extractor.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/block_writer.h"
#include "doc/doc_status.h"
#include "lum2/lum2.h"
#include "text/bookmark_marks.h"
#include "text/palm_charset.h"

namespace lum2 {

namespace {

constexpr const char* kAlreadyUtf8 = "the text is already UTF-8: its bytes were kept as they are";

// 14201 as "14,201", as the status texts write their numbers.
std::string Grouped(int64_t number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool StartsWith(const std::string& bytes, std::string_view lead) { return bytes.compare(0, lead.size(), lead) == 0; }

// Text as editors write it: no NUL, no control byte but line ends, TABs and form feeds.
bool LooksLikeText(const std::string& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == 0x7F || (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f');
    });
}

// What the first bytes of a file that is not a document say it is ("JPEG
// data", "text"); empty when they say nothing a user would know.
std::string KindOfBytes(const std::string& head) {
    static const std::pair<std::string_view, const char*> kSignatures[] = {
        {"\xFF\xD8\xFF", "JPEG data"}, {"\x89PNG\r\n\x1A\n", "PNG data"},
        {"GIF87a", "GIF data"},        {"GIF89a", "GIF data"},
        {"%PDF-", "PDF data"},         {"\x1F\x8B", "gzip data"},
        {"PK\x03\x04", "ZIP data"},    {"PK\x05\x06", "ZIP data"}};
    for (const auto& [lead, kind] : kSignatures) {
        if (!StartsWith(head, lead)) continue;
        // An EPUB is a ZIP whose first entry, stored, names its type.
        if (lead[0] == 'P' && head.find("mimetypeapplication/epub+zip") == 30) return "EPUB data";
        return kind;
    }
    if (!LooksLikeText(head)) return {};
    std::string lower(head.substr(0, 1024));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    if (lower.find("<html") != std::string::npos || lower.find("<!doctype html") != std::string::npos) return "HTML";
    return "text";
}

// Why a file is no Palm database, in plain words.
struct NoDatabase {
    std::string why;          // empty: its bytes may well be a database header
    bool identified = false;  // its bytes are of a known kind (or none at all)
};

// What doc's bytes are ("not a Palm database: 14,201 bytes of JPEG data"),
// else its size and that no header was found; nothing when the type and
// creator of header (when read) look like a database's.
NoDatabase NotADatabase(std::FILE* doc, const PalmHeader* header) {
    try {
        const int64_t length = FileLength(doc);
        if (length == 0) return {"the file is empty", true};
        const std::string head = ReadTextAt(doc, 0, static_cast<int>(std::min<int64_t>(length, 4096)));
        const std::string kind = KindOfBytes(head);
        const std::string size = Grouped(length) + (length == 1 ? " byte" : " bytes");
        if (!kind.empty()) return {"not a Palm database: " + size + " of " + kind, true};
        // A database's type and creator are four letters each.
        const auto letters = [](const std::string& code) {
            return code.size() == 4 &&
                   std::all_of(code.begin(), code.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        };
        if (header != nullptr && letters(header->type) && letters(header->creator)) return {};
        return {size + ", no Palm database header"};
    } catch (const DocIoError&) {
        return {};
    }
}

}  // namespace

Outcome CheckDocRecords(std::FILE* doc, PalmRecordReader& reader, PalmHeader& header, DocInfo& info) {
    try {
        int read = -1;
        try {
            read = reader.ReadHeader(header);
        } catch (const DocIoError&) {
            // Bytes of another kind may hold a record list link that leads
            // nowhere; their type and creator would have failed first.
            NoDatabase kind = NotADatabase(doc, nullptr);
            if (!kind.identified) throw;
            return kDocTypeUnsupported.With(std::move(kind.why));
        }
        if (read != 0) return kDocHeaderUnknown.With(NotADatabase(doc, nullptr).why);
        if (header.type != "TEXt" || header.creator != "REAd") {
            // The status is the type check's, as for any database of
            // another kind; the cause tells a picture or a text renamed .pdb
            // from a database that is no Doc.
            NoDatabase kind = NotADatabase(doc, &header);
            if (!kind.why.empty()) return kDocTypeUnsupported.With(std::move(kind.why));
            return kDocTypeUnsupported.With("a Palm database of type " + header.type + " and creator " +
                                            header.creator + ", not a Doc e-book (TEXt, REAd)");
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

namespace {

// The text of record i in data and size: a plain record where the reader
// holds it, a compressed one decoded into room (kLargestRecordText bytes).
// textSoFar, the text before it, grows by it. Returns null, or the failure.
const DocFailure* RecordText(PalmRecordReader& reader, const DocInfo& info, const CodecFunctions& codec, int i,
                             uint8_t* room, const uint8_t*& data, std::size_t& size, int64_t& textSoFar) {
    uint8_t attribute = 0;
    if (reader.ReadRecord(i, attribute, data, size) != 0) return &kDocCorrupt;
    // An empty record is an empty piece of text, as some writers end a
    // text of whole records; but one at the very end of the file while
    // DocInfo still owes text is a file cut short at a record boundary.
    if (size == 0 && reader.StartsAtEnd(i) && textSoFar < int64_t{info.textLength}) return &kDocCorrupt;
    if (info.version == 1) {
        if (size > static_cast<std::size_t>(kLargestRecordText)) return &kDocCorrupt;
    } else {
        // A record that does not decode exactly is damaged, not a text to guess at.
        // One pass: the decoder fails a record whose tokens run out of
        // bounds or decode to more than the room it is given.
        if (size > static_cast<std::size_t>(INT32_MAX)) return &kDocCorrupt;
        const int32_t decoded = codec.DeCompress(room, kLargestRecordText, data, static_cast<int32_t>(size));
        if (decoded < 0) return &kDocCorrupt;
        data = room;
        size = static_cast<std::size_t>(decoded);
    }
    textSoFar += static_cast<int64_t>(size);
    return nullptr;
}

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

Outcome CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info) {
    PalmRecordReader reader(doc);
    return CheckDocRecords(doc, reader, header, info);
}

Outcome ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec, ProgressSink& progress,
                       bool toUtf8, const std::vector<Bookmark>* marks) {
    PalmRecordReader reader(doc);
    PalmHeader header;
    DocInfo info;
    Outcome checked = CheckDocRecords(doc, reader, header, info);
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
    std::vector<uint8_t> plain(kLargestRecordText);
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    int64_t textSoFar = 0;

    // A text some writer kept as UTF-8 would be converted twice: whether it
    // is decides for the whole text before any of it is written, so a text
    // is never half converted.
    if (toUtf8) {
        Utf8Scanner scanner;
        for (int i = 1; i <= n; ++i) {
            if (const DocFailure* failed = RecordText(reader, info, codec, i, plain.data(), data, size, textSoFar))
                return *failed;
            scanner.Feed(std::string_view(reinterpret_cast<const char*>(data), size));
            if (i % 256 == 0) progress.LetEventsRun();
        }
        if (scanner.Valid() && scanner.NonAscii()) {
            toUtf8 = false;
            progress.Note(kAlreadyUtf8);
        }
        textSoFar = 0;
    }

    progress.SetProgressRange(n);
    progress.SetProgressValue(0);
    progress.LetEventsRun();

    BlockWriter out(text);
    std::string utf8;
    const bool compressed = info.version != 1;
    std::optional<MarkedText> marked;
    if (marks != nullptr && !marks->empty()) marked.emplace(*marks, toUtf8);
    // Marked or converted text is written piece by piece, so it is decoded aside first.
    const bool direct = compressed && !toUtf8 && !marked;
    for (int i = 1; i <= n; ++i) {
        progress.SetProgressValue(i);
        progress.SetTrayIcon(TrayFrame(i, n), "");
        progress.LetEventsRun();

        // Decoded straight into the output block unless it is converted first.
        uint8_t* room = plain.data();
        if (direct) {
            if (!out.Reserve(kLargestRecordText)) return kDocFailed;
            room = out.Tail();
        }
        if (const DocFailure* failed = RecordText(reader, info, codec, i, room, data, size, textSoFar)) return *failed;
        if (direct) {
            out.Advance(size);
            continue;
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
