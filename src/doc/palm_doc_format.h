// The Palm Doc database file: where its fields lie, positioned reads, the
// header and DocInfo writers and the record reader.
//
// The helpers return 0 for success and -1 for failure with their results in
// out-parameters. The Read*At primitives throw DocIoError when the file
// cannot be read at the position, which the converters report as their
// generic error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace lum2 {

class DocIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<uint8_t>;

// Where the fields of the database header lie, from the start of the file.
inline constexpr int kNameOffset = 0;
inline constexpr int kNameFieldSize = 32;           // the name, its NUL and blanks
inline constexpr int kCreationDateOffset = 36;      // Palm time, 32 bits
inline constexpr int kModificationDateOffset = 40;  // Palm time, 32 bits
inline constexpr int kTypeOffset = 60;              // 4 characters
inline constexpr int kCreatorOffset = 64;           // 4 characters
// The first record list: a 32-bit link to the next list (0: none) and the
// 16-bit count of its entries, which follow from kFirstEntryOffset on.
inline constexpr int kRecordListOffset = 72;
inline constexpr int kFirstEntryOffset = 78;
// A record entry: the record's 32-bit offset, its attribute byte (category in
// the low four bits) and its 24-bit unique id.
inline constexpr int kRecordEntrySize = 8;
inline constexpr int kEntryAttributeOffset = 4;
// DocInfo, record 0: the version word (1 plain, 2 compressed), the 32-bit
// text length, the 16-bit number of text records and their 16-bit size.
inline constexpr int kDocInfoSize = 16;
inline constexpr int kDocInfoVersionOffset = 0;
inline constexpr int kDocInfoTextLengthOffset = 4;
inline constexpr int kDocInfoRecordCountOffset = 8;
inline constexpr int kDocInfoRecordSizeOffset = 10;

inline constexpr int kMinimumDocFileSize = 82;
inline constexpr int kTextRecordSize = 4096;
// Largest text a record is read as: other writers use records up to the
// 16-bit size field of DocInfo, though this one writes 4,096 bytes.
inline constexpr int kLargestRecordText = 65535;
// Largest record any valid text record can be: a plain one holds at most
// kLargestRecordText bytes, and a compressed one costs at most two bytes per
// byte of text (a run of one byte behind its count). No record is read, and
// nothing allocated for it, past this.
inline constexpr int kLargestStoredRecord = 2 * kLargestRecordText;
inline constexpr int kMaximumTextRecords = 65534;
// The most text a document holds.
inline constexpr uint64_t kLargestText = uint64_t{kMaximumTextRecords} * kTextRecordSize;
inline constexpr int kDatabaseNameLength = 31;
inline constexpr uint32_t kFirstUniqueId = 0x6F8000;
inline constexpr uint8_t kDirtyAttribute = 0x40;

// The big-endian long at offset; throws DocIoError.
uint32_t ReadLongAt(std::FILE* file, int64_t offset);
// The length bytes at offset; throws DocIoError.
std::string ReadTextAt(std::FILE* file, int64_t offset, int length);

// Length of the open file in bytes; throws DocIoError when it cannot be told.
int64_t FileLength(std::FILE* file);

// Returns the 78-byte header and the record list of numberOfRecords (at
// least 1) entries, dated palmTime; the entries hold their unique ids and are
// pointed at their records with SetRecordEntry. The records follow right after.
Bytes BuildPalmHeader(const std::string& name, const std::string& type, const std::string& creator, int numberOfRecords,
                      uint32_t palmTime);
// Points entry index of header at dataOffset, with the category (the low
// four bits of attribute) and the dirty bit; throws std::out_of_range for an
// entry header does not hold.
void SetRecordEntry(Bytes& header, int index, uint32_t dataOffset, uint8_t attribute);
// Returns the 16 bytes of record 0 for recordCount text records of kTextRecordSize.
Bytes BuildDocInfo(uint32_t textLength, int recordCount, bool compressed);

struct PalmHeader {
    std::string type;
    std::string creator;
    int64_t totalRecords = 0;
};

// The records of an open Doc file, for reading many of them: the file length
// and the entries are read once, the records through positioned reads of
// 256 KB at a time.
class PalmRecordReader {
public:
    explicit PalmRecordReader(std::FILE* file) : file_(file) {}
    // Returns 0 with header filled, or -1 for a file shorter than
    // kMinimumDocFileSize. Throws DocIoError when the header cannot be read
    // or a record list link does not lead forward within the file.
    int ReadHeader(PalmHeader& header);
    // Reads the entries of records 0 to count - 1 (and the one after, which
    // ends the last); call after ReadHeader. Throws DocIoError when the
    // record list cannot be read.
    void ReadEntries(int64_t count);
    // Returns 0 with the attribute and the bytes of record index, whose entry
    // ReadEntries read, or -1: no such entry, a record that starts inside the
    // header or the first record list, ends past the file or before it
    // starts, is longer than kLargestStoredRecord, or cannot be read.
    int ReadRecord(int index, uint8_t& attribute, Bytes& data);
    // The same, with data pointing at the record's bytes until the next call.
    int ReadRecord(int index, uint8_t& attribute, const uint8_t*& data, std::size_t& size);
    // Whether record index starts at the very end of the file.
    bool StartsAtEnd(int index) const;

private:
    struct Entry {
        uint32_t offset = 0;
        uint8_t attribute = 0;
        bool present = false;  // the entry lies within the file
    };
    std::FILE* file_;
    int64_t length_ = 0;
    std::vector<std::pair<int64_t, int64_t>> lists_;  // where each list's entries start, and its count
    std::vector<Entry> entries_;
    bool complete_ = false;     // entries_ holds every entry the lists have
    int64_t firstListEnd_ = 0;  // no record starts before the first list ends
    static constexpr int64_t kReadWindow = int64_t{1} << 18;
    static_assert(kReadWindow >= kLargestStoredRecord, "every record fits the window");
    Bytes window_;  // the file from windowStart_ on, as last read
    int64_t windowStart_ = 0;
};

struct DocInfo {
    int version = 0;      // 1 stored plainly, 2 compressed
    int recordCount = 0;  // text records
    uint32_t textLength = 0;
    int category = 0;  // the low four bits of record 0's attribute (not ParseDocInfo's)
};
// Returns 0 with info filled from record0, or -1 for a record shorter than
// DocInfo, a version other than 1 and 2, or a count of text records below 1
// or beyond the totalRecords - 1 the file has.
int ParseDocInfo(const Bytes& record0, int64_t totalRecords, DocInfo& info);

}  // namespace lum2
