#include "engine/palm_doc_format.h"

#include <cstring>
#include <limits>

#include "engine/path_functions.h"

namespace lum2 {

namespace {

// Offsets of the database header.
constexpr int64_t kNameOffset = 0;
constexpr int kNameFieldSize = 32;
constexpr int64_t kCreationDateOffset = 36;
constexpr int64_t kModificationDateOffset = 40;
constexpr int64_t kTypeOffset = 60;
constexpr int64_t kCreatorOffset = 64;
constexpr int64_t kRecordListOffset = 72;  // next-list link, then the 16-bit count
constexpr int64_t kFirstEntryOffset = 78;

void SeekTo(std::FILE* file, int64_t offset) {
    if (offset < 0 || offset > std::numeric_limits<long>::max() ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        throw DocIoError("cannot seek to offset " + std::to_string(offset));
    }
}

void ReadExactly(std::FILE* file, int64_t offset, void* buffer, std::size_t size) {
    SeekTo(file, offset);
    if (std::fread(buffer, 1, size, file) != size) {
        throw DocIoError("cannot read " + std::to_string(size) + " bytes at offset " +
                         std::to_string(offset));
    }
}

void WriteExactly(std::FILE* file, int64_t offset, const void* buffer, std::size_t size) {
    SeekTo(file, offset);
    if (size != 0 && std::fwrite(buffer, 1, size, file) != size) {
        throw DocIoError("cannot write " + std::to_string(size) + " bytes at offset " +
                         std::to_string(offset));
    }
}

void PutWord(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

void PutLong(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Where the entries of the record list at listOffset begin: the first list
// keeps its entries after the 78-byte header, later lists right after their
// own 6-byte head (link and count).
int64_t EntriesOf(int64_t listOffset) { return listOffset + 6; }

}  // namespace

uint8_t ReadByteAt(std::FILE* file, int64_t offset) {
    uint8_t value = 0;
    ReadExactly(file, offset, &value, 1);
    return value;
}

uint16_t ReadWordAt(std::FILE* file, int64_t offset) {
    uint8_t b[2];
    ReadExactly(file, offset, b, sizeof b);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t ReadLongAt(std::FILE* file, int64_t offset) {
    uint8_t b[4];
    ReadExactly(file, offset, b, sizeof b);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

std::string ReadTextAt(std::FILE* file, int64_t offset, int length) {
    if (length < 0) throw DocIoError("negative text length");
    std::string text(static_cast<std::size_t>(length), '\0');
    if (length > 0) ReadExactly(file, offset, text.data(), text.size());
    return text;
}

void WriteByteAt(std::FILE* file, int64_t offset, uint8_t value) {
    WriteExactly(file, offset, &value, 1);
}

void WriteWordAt(std::FILE* file, int64_t offset, uint32_t value) {
    uint8_t b[2];
    PutWord(b, value);
    WriteExactly(file, offset, b, sizeof b);
}

void WriteLongAt(std::FILE* file, int64_t offset, uint32_t value) {
    uint8_t b[4];
    PutLong(b, value);
    WriteExactly(file, offset, b, sizeof b);
}

int64_t FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) throw DocIoError("cannot seek to the end");
    const long length = std::ftell(file);
    if (length < 0) throw DocIoError("cannot tell the file length");
    return length;
}

int WritePalmHeader(std::FILE* file, const std::string& name, const std::string& type,
                    const std::string& creator, int numberOfRecords, uint32_t palmTime) {
    try {
        uint8_t head[kRecordListOffset] = {};
        // The name, one NUL, then blanks to the end of its field. A longer
        // name is cut so that the NUL still fits: readers rely on it.
        std::memset(head + kNameOffset, ' ', kNameFieldSize);
        const std::size_t nameLength = std::min<std::size_t>(name.size(), kNameFieldSize - 1);
        std::memcpy(head + kNameOffset, name.data(), nameLength);
        head[kNameOffset + nameLength] = 0;
        PutLong(head + kCreationDateOffset, palmTime);
        PutLong(head + kModificationDateOffset, palmTime);
        for (int i = 0; i < 4; ++i) {
            head[kTypeOffset + i] = i < static_cast<int>(type.size()) ? type[i] : ' ';
            head[kCreatorOffset + i] = i < static_cast<int>(creator.size()) ? creator[i] : ' ';
        }
        WriteExactly(file, 0, head, sizeof head);
        WriteLongAt(file, kRecordListOffset, 0);
        WriteWordAt(file, kRecordListOffset + 4, static_cast<uint32_t>(numberOfRecords));

        if (numberOfRecords <= 0) {
            WriteWordAt(file, kFirstEntryOffset, 0);
        } else {
            // All placeholders in one write: data offset 0, attribute 0, unique id.
            std::vector<uint8_t> entries(static_cast<std::size_t>(numberOfRecords) * kRecordEntrySize);
            for (int k = 0; k < numberOfRecords; ++k) {
                PutLong(&entries[k * kRecordEntrySize + 4], kFirstUniqueId + static_cast<uint32_t>(k));
            }
            WriteExactly(file, kFirstEntryOffset, entries.data(), entries.size());
        }
        return 0;
    } catch (const DocIoError&) {
        return -1;
    }
}

int AppendPalmRecord(std::FILE* file, int index, const uint8_t* data, std::size_t size,
                     uint8_t attribute) {
    try {
        if (index < 0) return -1;
        const uint8_t recordAttribute = static_cast<uint8_t>((attribute & 0x0F) | kDirtyAttribute);
        const int64_t length = FileLength(file);
        if (length > std::numeric_limits<uint32_t>::max()) return -1;
        const int64_t entry = kFirstEntryOffset + int64_t{kRecordEntrySize} * index;
        WriteLongAt(file, entry, static_cast<uint32_t>(length));
        WriteByteAt(file, entry + 4, recordAttribute);
        WriteExactly(file, length, data, size);
        return 0;
    } catch (const DocIoError&) {
        return -1;
    }
}

Bytes BuildDocInfo(uint32_t textLength, int recordCount, bool compressed) {
    Bytes info(kDocInfoSize, 0);
    PutWord(&info[0], compressed ? 2 : 1);
    PutLong(&info[4], textLength);
    PutWord(&info[8], static_cast<uint32_t>(recordCount));
    PutWord(&info[10], kTextRecordSize);
    return info;
}

int ReadPalmHeader(std::FILE* file, PalmHeader& header) {
    const int64_t length = FileLength(file);
    if (length < kMinimumDocFileSize) return -1;
    header.type = ReadTextAt(file, kTypeOffset, 4);
    header.creator = ReadTextAt(file, kCreatorOffset, 4);

    // Further record lists are chained by their links. Each link must lead
    // forward within the file: a damaged file must not send us round a loop.
    int64_t total = 0;
    int64_t list = kRecordListOffset;
    for (;;) {
        total += ReadWordAt(file, list + 4);
        const uint32_t link = ReadLongAt(file, list);
        if (link == 0) break;
        if (link <= list || link >= length) throw DocIoError("record list link out of order");
        list = link;
    }
    header.totalRecords = total;
    return 0;
}

int GetRecordEntry(std::FILE* file, int index, uint32_t& dataOffset, uint8_t& attribute) {
    try {
        if (index < 0) return -1;
        int64_t list = kRecordListOffset;
        int64_t entries = kFirstEntryOffset;
        int64_t remaining = index;
        const int64_t length = FileLength(file);
        for (;;) {
            const int64_t count = ReadWordAt(file, list + 4);
            if (remaining < count) break;
            remaining -= count;
            const uint32_t link = ReadLongAt(file, list);
            if (link == 0 || link <= list || link >= length) return -1;
            list = link;
            entries = EntriesOf(list);
        }
        const int64_t entry = entries + int64_t{kRecordEntrySize} * remaining;
        dataOffset = ReadLongAt(file, entry);
        attribute = ReadByteAt(file, entry + 4);
        return 0;
    } catch (const DocIoError&) {
        return -1;
    }
}

int ReadPalmRecord(std::FILE* file, int index, uint8_t& attribute, Bytes& data) {
    try {
        uint32_t offset = 0;
        if (GetRecordEntry(file, index, offset, attribute) != 0) return -1;
        const int64_t fileLength = FileLength(file);
        uint32_t nextOffset = 0;
        uint8_t nextAttribute = 0;
        const int64_t end = GetRecordEntry(file, index + 1, nextOffset, nextAttribute) == 0
                                ? int64_t{nextOffset}
                                : fileLength;
        const int64_t size = end - int64_t{offset};
        if (size < 0 || int64_t{offset} + size > fileLength) return -1;
        data.resize(static_cast<std::size_t>(size));
        if (size > 0) ReadExactly(file, offset, data.data(), data.size());
        return 0;
    } catch (const DocIoError&) {
        return -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int ParseDocInfo(const Bytes& record0, int64_t totalRecords, DocInfo& info) {
    if (record0.size() < kDocInfoSize) return -1;
    const int version = record0[1];
    const int count = (record0[8] << 8) | record0[9];
    if (version != 1 && version != 2) return -1;
    if (count < 1 || count > totalRecords - 1) return -1;
    info.version = version;
    info.recordCount = count;
    return 0;
}

std::string DatabaseName(const std::string& palmPath) {
    std::string name = BaseName(FileNamePart(palmPath));
    if (name.size() > kDatabaseNameLength) {
        std::size_t cut = kDatabaseNameLength;
        // Never leave half of a UTF-8 sequence at the end of the name.
        while (cut > 0 && (static_cast<uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

}  // namespace lum2
