#include "doc/palm_doc_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

#include "base/byte_order.h"

namespace lum2 {

namespace {

// A record list starts with its link to the next list and its count.
constexpr int kListCountOffset = 4;
constexpr int kListHeadSize = 6;
// Files have one record list; a chain of more than this is a damaged file
// (each link costs a read, and the chain could fill a large sparse file).
constexpr std::size_t kMaximumRecordLists = 256;

void SeekTo(std::FILE* file, int64_t offset) {
    if (offset < 0 || offset > std::numeric_limits<long>::max() ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        throw DocIoError("cannot seek to offset " + std::to_string(offset));
    }
}

void ReadExactly(std::FILE* file, int64_t offset, void* buffer, std::size_t size) {
    SeekTo(file, offset);
    if (std::fread(buffer, 1, size, file) != size) {
        throw DocIoError("cannot read " + std::to_string(size) + " bytes at offset " + std::to_string(offset));
    }
}

// Reads size bytes at offset without moving the stream (one pread where the
// stream has a descriptor); false when fewer are there.
bool ReadBytesAt(std::FILE* file, int64_t offset, void* buffer, std::size_t size) {
    if (offset < 0) return false;
    if (size == 0) return true;
    const int descriptor = fileno(file);
    if (descriptor < 0) {
        // A stream without a descriptor (in memory): seek and read.
        try {
            ReadExactly(file, offset, buffer, size);
            return true;
        } catch (const DocIoError&) {
            return false;
        }
    }
    auto* to = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t got = pread(descriptor, to, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        offset += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Where the entries of the record list at listOffset begin: the first list
// keeps its entries after the 78-byte header, later lists right after their
// own 6-byte head (link and count).
int64_t EntriesOf(int64_t listOffset) { return listOffset + kListHeadSize; }

}  // namespace

uint32_t ReadLongAt(std::FILE* file, int64_t offset) {
    uint8_t b[4];
    ReadExactly(file, offset, b, sizeof b);
    return GetLong(b);
}

std::string ReadTextAt(std::FILE* file, int64_t offset, int length) {
    if (length < 0) throw DocIoError("negative text length");
    std::string text(static_cast<std::size_t>(length), '\0');
    if (length > 0) ReadExactly(file, offset, text.data(), text.size());
    return text;
}

int64_t FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) throw DocIoError("cannot seek to the end");
    const long length = std::ftell(file);
    if (length < 0) throw DocIoError("cannot tell the file length");
    return length;
}

Bytes BuildPalmHeader(const std::string& name, const std::string& type, const std::string& creator, int numberOfRecords,
                      uint32_t palmTime) {
    const int records = std::max(numberOfRecords, 1);
    Bytes head(static_cast<std::size_t>(kFirstEntryOffset + int64_t{kRecordEntrySize} * records), 0);
    // The name, one NUL, then blanks to the end of its field. A longer
    // name is cut so that the NUL still fits: readers rely on it.
    std::memset(head.data() + kNameOffset, ' ', kNameFieldSize);
    const std::size_t nameLength = std::min<std::size_t>(name.size(), kNameFieldSize - 1);
    std::memcpy(head.data() + kNameOffset, name.data(), nameLength);
    head[kNameOffset + nameLength] = 0;
    PutLong(&head[kCreationDateOffset], palmTime);
    PutLong(&head[kModificationDateOffset], palmTime);
    for (int i = 0; i < 4; ++i) {
        head[kTypeOffset + i] = i < static_cast<int>(type.size()) ? type[i] : ' ';
        head[kCreatorOffset + i] = i < static_cast<int>(creator.size()) ? creator[i] : ' ';
    }
    PutWord(&head[kRecordListOffset + kListCountOffset], static_cast<uint32_t>(records));
    // The attribute byte stays 0 until SetRecordEntry; the unique id fills the three after it.
    for (int k = 0; k < records; ++k) {
        PutLong(&head[kFirstEntryOffset + int64_t{kRecordEntrySize} * k + kEntryAttributeOffset],
                kFirstUniqueId + static_cast<uint32_t>(k));
    }
    return head;
}

void SetRecordEntry(Bytes& header, int index, uint32_t dataOffset, uint8_t attribute) {
    uint8_t* entry = &header.at(static_cast<std::size_t>(kFirstEntryOffset + int64_t{kRecordEntrySize} * index));
    PutLong(entry, dataOffset);
    entry[kEntryAttributeOffset] = static_cast<uint8_t>((attribute & 0x0F) | kDirtyAttribute);
}

Bytes BuildDocInfo(uint32_t textLength, int recordCount, bool compressed) {
    Bytes info(kDocInfoSize, 0);
    PutWord(&info[kDocInfoVersionOffset], compressed ? 2 : 1);
    PutLong(&info[kDocInfoTextLengthOffset], textLength);
    PutWord(&info[kDocInfoRecordCountOffset], static_cast<uint32_t>(recordCount));
    PutWord(&info[kDocInfoRecordSizeOffset], kTextRecordSize);
    return info;
}

int PalmRecordReader::ReadHeader(PalmHeader& header) {
    struct stat status {};
    const int descriptor = fileno(file_);
    length_ = descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)
                  ? static_cast<int64_t>(status.st_size)
                  : lum2::FileLength(file_);
    lists_.clear();
    entries_.clear();
    if (length_ < kMinimumDocFileSize) return -1;
    uint8_t head[kFirstEntryOffset - kTypeOffset];
    if (!ReadBytesAt(file_, kTypeOffset, head, sizeof head)) throw DocIoError("cannot read the header");
    header.type.assign(reinterpret_cast<const char*>(head), 4);
    header.creator.assign(reinterpret_cast<const char*>(head + (kCreatorOffset - kTypeOffset)), 4);

    // Further record lists are chained by their links. Each link must lead
    // forward within the file: a damaged file must not send us round a loop.
    int64_t total = 0;
    int64_t list = kRecordListOffset;
    const uint8_t* link = head + (kRecordListOffset - kTypeOffset);
    uint8_t next[6];
    for (;;) {
        const int64_t count = GetWord(link + kListCountOffset);
        lists_.emplace_back(EntriesOf(list), count);
        total += count;
        const uint32_t to = GetLong(link);
        if (to == 0) break;
        if (to <= list || to >= length_) throw DocIoError("record list link out of order");
        if (lists_.size() >= kMaximumRecordLists) throw DocIoError("too many record lists");
        list = to;
        if (!ReadBytesAt(file_, list, next, sizeof next)) throw DocIoError("record list cut off");
        link = next;
    }
    header.totalRecords = total;
    firstListEnd_ = lists_.front().first + lists_.front().second * kRecordEntrySize;
    return 0;
}

void PalmRecordReader::ReadEntries(int64_t count) {
    entries_.clear();
    int64_t wanted = count + 1;
    std::vector<uint8_t> bytes;
    for (const auto& [start, listCount] : lists_) {
        if (wanted <= 0) break;
        const int64_t taken = std::min(listCount, wanted);
        wanted -= taken;
        // One read of the list, as far as the file holds it.
        const int64_t readable = std::clamp<int64_t>(length_ - start, 0, taken * kRecordEntrySize);
        bytes.resize(static_cast<std::size_t>(readable));
        if (!ReadBytesAt(file_, start, bytes.data(), bytes.size())) throw DocIoError("cannot read the record list");
        for (int64_t k = 0; k < taken; ++k) {
            Entry entry;
            const int64_t at = k * kRecordEntrySize;
            // The offset and the attribute byte must both be there.
            if (at + kEntryAttributeOffset + 1 <= readable) {
                const uint8_t* b = &bytes[static_cast<std::size_t>(at)];
                entry.offset = GetLong(b);
                entry.attribute = b[kEntryAttributeOffset];
                entry.present = true;
            }
            entries_.push_back(entry);
        }
    }
    int64_t all = 0;
    for (const auto& list : lists_) all += list.second;
    complete_ = static_cast<int64_t>(entries_.size()) == all;
}

int PalmRecordReader::ReadRecord(int index, uint8_t& attribute, Bytes& data) {
    const uint8_t* bytes = nullptr;
    std::size_t size = 0;
    if (ReadRecord(index, attribute, bytes, size) != 0) return -1;
    try {
        data.assign(bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int PalmRecordReader::ReadRecord(int index, uint8_t& attribute, const uint8_t*& data, std::size_t& size) {
    const auto at = static_cast<std::size_t>(index);
    if (index < 0 || at >= entries_.size() || !entries_[at].present) return -1;
    // The record ends where the next one starts, or at the end of the file
    // when there is no next entry to tell.
    if (at + 1 >= entries_.size() && !complete_) return -1;
    const Entry& entry = entries_[at];
    attribute = entry.attribute;
    const int64_t offset = entry.offset;
    const int64_t end =
        at + 1 < entries_.size() && entries_[at + 1].present ? int64_t{entries_[at + 1].offset} : length_;
    if (end < offset || end > length_ || offset < firstListEnd_ || end - offset > kLargestStoredRecord) return -1;
    size = static_cast<std::size_t>(end - offset);
    try {
        // Records mostly follow each other, so one read brings in the
        // window of file from this record on and serves the next ones too.
        if (offset < windowStart_ || end > windowStart_ + static_cast<int64_t>(window_.size())) {
            window_.resize(static_cast<std::size_t>(std::min<int64_t>(kReadWindow, length_ - offset)));
            windowStart_ = offset;
            if (!ReadBytesAt(file_, offset, window_.data(), window_.size())) {
                window_.clear();
                return -1;
            }
        }
        data = window_.data() + (offset - windowStart_);
        return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

bool PalmRecordReader::StartsAtEnd(int index) const {
    const auto at = static_cast<std::size_t>(index);
    return index >= 0 && at < entries_.size() && entries_[at].present && int64_t{entries_[at].offset} >= length_;
}

int ParseDocInfo(const Bytes& record0, int64_t totalRecords, DocInfo& info) {
    if (record0.size() < kDocInfoSize) return -1;
    // Only the version word's low byte counts: some writers set the high one.
    const int version = record0[kDocInfoVersionOffset + 1];
    const int count = GetWord(&record0[kDocInfoRecordCountOffset]);
    if (version != 1 && version != 2) return -1;
    if (count < 1 || count > totalRecords - 1) return -1;
    info.version = version;
    info.recordCount = count;
    info.textLength = GetLong(&record0[kDocInfoTextLengthOffset]);
    return 0;
}

}  // namespace lum2
