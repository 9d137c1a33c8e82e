#include "engine/file_handle.h"
#include "engine/doc_builder.h"

#include <memory>
#include <vector>

#include "engine/palm_doc_format.h"
#include "lum2/lum2.h"

namespace lum2 {

std::string BuildDocFile(const DocBuildRequest& request, std::FILE* doc,
                         const CodecFunctions& codec, ProgressSink& progress) {
    try {
        if (request.category < 0 || request.category > 255) return kStatusGenericError;

        FileHandle text(std::fopen(request.textPath.c_str(), "rb"));
        if (!text) return kStatusGenericError;
        const int64_t length = FileLength(text.get());
        if (length == 0) return "Error: PC File is empty";
        std::rewind(text.get());

        const int64_t records = (length + kTextRecordSize - 1) / kTextRecordSize;
        if (records > kMaximumTextRecords) {
            return "Error: PC File too long for a Palm File (more than 65,534 records of 4,096 bytes)";
        }
        const int n = static_cast<int>(records);
        const int lastSize = static_cast<int>(length % kTextRecordSize);

        progress.SetProgressCaption("Compression");
        progress.SetProgressRange(n);
        progress.SetProgressValue(0);
        progress.LetEventsRun();

        if (codec.CalcPalmTime == nullptr || (request.compressed && codec.Compress == nullptr)) {
            return kStatusGenericError;
        }
        if (WritePalmHeader(doc, request.databaseName, "TEXt", "REAd", n + 1, codec.CalcPalmTime()) != 0) {
            return "Error: can't create header of Palm File";
        }
        const Bytes docInfo = BuildDocInfo(static_cast<uint32_t>(length), n, request.compressed);
        if (AppendPalmRecord(doc, 0, docInfo.data(), docInfo.size(),
                             static_cast<uint8_t>(request.category)) != 0) {
            return "Error: could not write Palm File docinfo";
        }

        std::vector<uint8_t> chunk(kTextRecordSize);
        std::vector<uint8_t> packed(LUM2_COMPRESS_BOUND(kTextRecordSize));
        for (int i = 1; i <= n; ++i) {
            progress.SetProgressValue(i);
            progress.SetTrayIcon(TrayFrame(i, n), "");
            progress.LetEventsRun();

            const std::size_t size = (i == n && lastSize != 0) ? lastSize : kTextRecordSize;
            if (std::fread(chunk.data(), 1, size, text.get()) != size) return kStatusGenericError;

            const uint8_t* data = chunk.data();
            std::size_t dataSize = size;
            if (request.compressed) {
                const int32_t packedSize = codec.Compress(packed.data(), static_cast<int32_t>(packed.size()),
                                                          chunk.data(), static_cast<int32_t>(size));
                if (packedSize < 0) return kStatusGenericError;
                data = packed.data();
                dataSize = static_cast<std::size_t>(packedSize);
            }
            if (AppendPalmRecord(doc, i, data, dataSize, 0) != 0) {
                return "Error: could not write Palm File record";
            }
        }
        if (std::fflush(doc) != 0) return kStatusGenericError;
        return kStatusOk;
    } catch (const DocIoError&) {
        return kStatusGenericError;
    } catch (const std::bad_alloc&) {
        return kStatusGenericError;
    }
}

}  // namespace lum2
