#include "engine/doc_extractor.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "engine/block_writer.h"
#include "engine/doc_builder.h"
#include "engine/ordered_jobs.h"
#include "engine/palm_charset.h"
#include "lum2/lum2.h"

namespace lum2 {

namespace {

std::string CheckDoc(PalmRecordReader& reader, PalmHeader& header, DocInfo& info) {
    try {
        if (reader.ReadHeader(header) != 0) return "Error: unknown or corrupted Palm File header";
        if (header.type != "TEXt" || header.creator != "REAd") {
            return "Error: Palm File type or creator not supported";
        }
        if (header.totalRecords < 2) return "Error: Palm File corrupt or wrong format";
        reader.ReadEntries(1);
        Bytes record0;
        uint8_t attribute = 0;
        if (reader.ReadRecord(0, attribute, record0) != 0) {
            return "Error: could not get DocInfo of Palm File";
        }
        if (ParseDocInfo(record0, header.totalRecords, info) != 0) {
            return "Error: DocInfo in Palm File unknown";
        }
        return kStatusOk;
    } catch (const DocIoError&) {
        return kStatusGenericError;
    }
}


// Records in flight per job: enough that no worker waits for the reader.
constexpr int kRecordsPerJob = 4;

struct PackedRecord {
    std::vector<uint8_t> packed;
    uint8_t plain[kLargestRecordText];
    int32_t plainSize = 0;
    bool readable = true;    // the record list led to its bytes
    bool emptyAtEnd = false; // an empty record at the very end of the file
};

}  // namespace

std::string CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info) {
    PalmRecordReader reader(doc);
    return CheckDoc(reader, header, info);
}

std::string ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec,
                           ProgressSink& progress, bool toUtf8, int requestedJobs) {
    PalmRecordReader reader(doc);
    PalmHeader header;
    DocInfo info;
    const std::string checked = CheckDoc(reader, header, info);
    if (checked != kStatusOk) return checked;
    if (info.version != 1 && codec.DeCompress == nullptr) {
        return kStatusGenericError;
    }

    const int n = info.recordCount;
    try {
        reader.ReadEntries(int64_t{n} + 1);
    } catch (const DocIoError&) {
        return kStatusGenericError;
    }
    progress.SetProgressRange(n);
    progress.SetProgressValue(0);
    progress.LetEventsRun();

    BlockWriter out(text);
    std::vector<uint8_t> plain(kLargestRecordText);
    std::string utf8;
    int64_t textSoFar = 0;
    // The text of one record, checked and converted as asked, goes to the output.
    const auto put = [&](const uint8_t* data, std::size_t size) {
        if (toUtf8) {
            // Each byte is a whole character, so records convert one by one.
            utf8.clear();
            AppendUtf8FromPalm(std::string_view(reinterpret_cast<const char*>(data), size), utf8);
            data = reinterpret_cast<const uint8_t*>(utf8.data());
            size = utf8.size();
        }
        return out.Append(data, size);
    };
    // An empty record is an empty piece of text, as some writers end a text
    // of whole records; but one at the very end of the file while DocInfo
    // still owes text is a file cut short at a record boundary.
    const auto cutShort = [&](bool emptyAtEnd) { return emptyAtEnd && textSoFar < int64_t{info.textLength}; };
    const auto showRecord = [&](int i) {
        progress.SetProgressValue(i);
        progress.SetTrayIcon(TrayFrame(i, n), "");
        progress.LetEventsRun();
    };

    const int jobs = info.version != 1 ? JobsWithinCap(requestedJobs) : 1;
    if (jobs > 1) {
        try {
            // Records decode on every core; the reading, the checks that
            // depend on the text before, and the writing stay in record
            // order here, so statuses and output are those of one thread.
            OrderedJobs<PackedRecord> decoder(jobs, kRecordsPerJob, [&codec](PackedRecord& record) {
                if (!record.readable) return;
                record.plainSize = codec.DeCompress(record.plain, kLargestRecordText, record.packed.data(),
                                                    static_cast<int32_t>(record.packed.size()));
            });
            int64_t submitted = 0;
            for (int i = 1; i <= n; ++i) {
                showRecord(i);
                for (; submitted < n && submitted < i - 1 + decoder.Window(); ++submitted) {
                    PackedRecord& record = decoder.At(submitted);
                    const int index = static_cast<int>(submitted) + 1;
                    uint8_t attribute = 0;
                    const uint8_t* data = nullptr;
                    std::size_t size = 0;
                    record.readable = reader.ReadRecord(index, attribute, data, size) == 0 &&
                                      size <= static_cast<std::size_t>(INT32_MAX);
                    if (record.readable) {
                        record.packed.assign(data, data + size);
                        record.emptyAtEnd = size == 0 && reader.StartsAtEnd(index);
                    }
                    decoder.Submit();
                }
                PackedRecord& record = decoder.Take(i - 1);
                if (!record.readable || cutShort(record.emptyAtEnd) || record.plainSize < 0) {
                    return "Error: Palm File corrupt";
                }
                textSoFar += record.plainSize;
                if (!put(record.plain, static_cast<std::size_t>(record.plainSize))) return kStatusGenericError;
            }
        } catch (const std::system_error&) {
            return kStatusGenericError;  // no thread could be started
        } catch (const DocIoError&) {
            return kStatusGenericError;
        }
    }
    for (int i = 1; jobs == 1 && i <= n; ++i) {
        showRecord(i);
        uint8_t attribute = 0;
        const uint8_t* data = nullptr;
        std::size_t size = 0;
        if (reader.ReadRecord(i, attribute, data, size) != 0) return "Error: Palm File corrupt";
        if (cutShort(size == 0 && reader.StartsAtEnd(i))) return "Error: Palm File corrupt";

        if (info.version != 1) {
            // A record that does not decode exactly is damaged, not a text to guess at.
            // One pass: the decoder fails a record whose tokens run out of
            // bounds or decode to more than the room it is given.
            if (size > static_cast<std::size_t>(INT32_MAX)) return "Error: Palm File corrupt";
            // Decoded straight into the output block unless it is converted first.
            if (!toUtf8 && !out.Reserve(kLargestRecordText)) return kStatusGenericError;
            uint8_t* into = toUtf8 ? plain.data() : out.Tail();
            const int32_t decoded = codec.DeCompress(into, kLargestRecordText, data, static_cast<int32_t>(size));
            if (decoded < 0) return "Error: Palm File corrupt";
            textSoFar += decoded;
            if (!toUtf8) {
                out.Advance(static_cast<std::size_t>(decoded));
                continue;
            }
            data = into;
            size = static_cast<std::size_t>(decoded);
        } else {
            textSoFar += static_cast<int64_t>(size);
        }
        if (!put(data, size)) return kStatusGenericError;
    }
    if (!out.Flush() || std::fflush(text) != 0) return kStatusGenericError;
    return kStatusOk;
}

}  // namespace lum2
