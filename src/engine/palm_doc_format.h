// The Palm Doc database file: positioned big-endian reads and writes, the
// header writer, the record appender and the record reader.
//
// The helpers return 0 for success and -1 for failure with their results in
// out-parameters. The Read*At and Write*At primitives throw DocIoError when
// the file cannot be read or written at the position, which the converters
// report as their generic error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace lum2 {

class DocIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<uint8_t>;

inline constexpr int kDocHeaderSize = 78;
inline constexpr int kRecordEntrySize = 8;
inline constexpr int kDocInfoSize = 16;
inline constexpr int kMinimumDocFileSize = 82;
inline constexpr int kTextRecordSize = 4096;
inline constexpr int kMaximumTextRecords = 65534;
inline constexpr int kDatabaseNameLength = 31;
inline constexpr uint32_t kFirstUniqueId = 0x6F8000;
inline constexpr uint8_t kDirtyAttribute = 0x40;

uint8_t ReadByteAt(std::FILE* file, int64_t offset);
uint16_t ReadWordAt(std::FILE* file, int64_t offset);
uint32_t ReadLongAt(std::FILE* file, int64_t offset);
std::string ReadTextAt(std::FILE* file, int64_t offset, int length);
void WriteByteAt(std::FILE* file, int64_t offset, uint8_t value);
void WriteWordAt(std::FILE* file, int64_t offset, uint32_t value);
void WriteLongAt(std::FILE* file, int64_t offset, uint32_t value);

// Length of the open file in bytes; throws DocIoError when it cannot be told.
int64_t FileLength(std::FILE* file);

// Writes the 78-byte header and the record list placeholders for
// numberOfRecords records, dated palmTime.
int WritePalmHeader(std::FILE* file, const std::string& name, const std::string& type,
                    const std::string& creator, int numberOfRecords, uint32_t palmTime);
// Appends record index's data at the end of the file and points its entry at it.
int AppendPalmRecord(std::FILE* file, int index, const uint8_t* data, std::size_t size,
                     uint8_t attribute);
Bytes BuildDocInfo(uint32_t textLength, int recordCount, bool compressed);

struct PalmHeader {
    std::string type;
    std::string creator;
    int64_t totalRecords = 0;
};
int ReadPalmHeader(std::FILE* file, PalmHeader& header);
int GetRecordEntry(std::FILE* file, int index, uint32_t& dataOffset, uint8_t& attribute);
int ReadPalmRecord(std::FILE* file, int index, uint8_t& attribute, Bytes& data);

struct DocInfo {
    int version = 0;      // 1 stored plainly, 2 compressed
    int recordCount = 0;  // text records
};
int ParseDocInfo(const Bytes& record0, int64_t totalRecords, DocInfo& info);

// The database name for a Palm file path: its file-name part without the last
// extension, cut to 31 characters.
std::string DatabaseName(const std::string& palmPath);

}  // namespace lum2
