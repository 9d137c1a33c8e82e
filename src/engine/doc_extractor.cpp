#include "engine/doc_extractor.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/doc_builder.h"
#include "engine/palm_charset.h"
#include "lum2/lum2.h"

namespace lum2 {

std::string CheckDocFile(std::FILE* doc, PalmHeader& header, DocInfo& info) {
    try {
        if (ReadPalmHeader(doc, header) != 0) return "Error: unknown or corrupted Palm File header";
        if (header.type != "TEXt" || header.creator != "REAd") {
            return "Error: Palm File type or creator not supported";
        }
        if (header.totalRecords < 2) return "Error: Palm File corrupt or wrong format";
        Bytes record0;
        uint8_t attribute = 0;
        if (ReadPalmRecord(doc, 0, attribute, record0) != 0) {
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

std::string ExtractDocText(std::FILE* doc, std::FILE* text, const CodecFunctions& codec,
                           ProgressSink& progress, bool toUtf8) {
    PalmHeader header;
    DocInfo info;
    const std::string checked = CheckDocFile(doc, header, info);
    if (checked != kStatusOk) return checked;
    if (info.version != 1 && (codec.GetUncompSize == nullptr || codec.DeCompress == nullptr)) {
        return kStatusGenericError;
    }

    const int n = info.recordCount;
    progress.SetProgressRange(n);
    progress.SetProgressValue(0);
    progress.LetEventsRun();

    Bytes record;
    std::vector<uint8_t> plain(LUM2_RECORD_SIZE);
    std::string utf8;
    for (int i = 1; i <= n; ++i) {
        progress.SetProgressValue(i);
        progress.SetTrayIcon(TrayFrame(i, n), "");
        progress.LetEventsRun();

        uint8_t attribute = 0;
        // No writer stores an empty text record; one is a file cut short at a record boundary.
        if (ReadPalmRecord(doc, i, attribute, record) != 0 || record.empty()) return "Error: Palm File corrupt";

        const uint8_t* data = record.data();
        std::size_t size = record.size();
        if (info.version != 1) {
            // A record that does not decode exactly is damaged, not a text to guess at.
            if (record.size() > static_cast<std::size_t>(INT32_MAX)) return "Error: Palm File corrupt";
            const int32_t recordSize = static_cast<int32_t>(record.size());
            const int32_t expected = codec.GetUncompSize(record.data(), recordSize);
            if (expected < 0 || expected > LUM2_RECORD_SIZE) return "Error: Palm File corrupt";
            std::fill(plain.begin(), plain.begin() + expected, ' ');
            const int32_t written = codec.DeCompress(plain.data(), expected, record.data(), recordSize);
            if (written != expected) return "Error: Palm File corrupt";
            data = plain.data();
            size = static_cast<std::size_t>(expected);
        }
        if (toUtf8) {
            // Each byte is a whole character, so records convert one by one.
            utf8.clear();
            AppendUtf8FromPalm(std::string_view(reinterpret_cast<const char*>(data), size), utf8);
            data = reinterpret_cast<const uint8_t*>(utf8.data());
            size = utf8.size();
        }
        if (size != 0 && std::fwrite(data, 1, size, text) != size) return kStatusGenericError;
    }
    if (std::fflush(text) != 0) return kStatusGenericError;
    return kStatusOk;
}

}  // namespace lum2
