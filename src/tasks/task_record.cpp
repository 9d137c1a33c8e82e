#include "tasks/task_record.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/text_helpers.h"
#include "tasks/store_layout.h"

namespace lum2 {

namespace {

// Field layout of one record: offsets and widths in bytes.
constexpr std::size_t kVersionAt = 0, kVersionWidth = 4;
constexpr std::size_t kPcFileAt = 4, kPcFileWidth = 512;
constexpr std::size_t kPcFileTimeAt = 516;
constexpr std::size_t kPalmFileAt = 524, kPalmFileWidth = 512;
constexpr std::size_t kPalmFileTimeAt = 1036;
constexpr std::size_t kDirectionAt = 1044;
constexpr std::size_t kOptionsAt = 1046, kOptionsWidth = 32;
constexpr std::size_t kCategoryAt = 1078;
constexpr std::size_t kTabspaceAt = 1080;
constexpr std::size_t kInstallAt = 1082;
constexpr std::size_t kStatusAt = 1114;
constexpr std::size_t kPcFilterAt = 1178;
constexpr std::size_t kPalmFilterAt = 1180;
constexpr std::size_t kSwitch1At = 1182;
constexpr std::size_t kSwitch2At = 1184;
constexpr std::size_t kCounterAt = 1186;
constexpr std::size_t kTaskIdAt = 1188, kTaskIdWidth = 20;

static_assert(kTaskIdAt + kTaskIdWidth == kRecordSize);
static_assert(kStatusAt + kStatusWidth == kPcFilterAt);
static_assert(kPcFileWidth == kPathFieldWidth && kPalmFileWidth == kPathFieldWidth);

void PutText(RecordBytes& bytes, std::size_t at, std::size_t width, const std::string& text) {
    const std::string cut = CutToField(text, width);
    std::memset(bytes.data() + at, ' ', width);
    std::memcpy(bytes.data() + at, cut.data(), cut.size());
}

std::string GetText(const RecordBytes& bytes, std::size_t at, std::size_t width) {
    std::size_t length = width;
    while (length > 0 && bytes[at + length - 1] == ' ') --length;
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), length);
}

void PutInt16(RecordBytes& bytes, std::size_t at, int16_t value) {
    const auto raw = static_cast<uint16_t>(value);
    bytes[at] = static_cast<uint8_t>(raw & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(raw >> 8);
}

int16_t GetInt16(const RecordBytes& bytes, std::size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
}

void PutBool(RecordBytes& bytes, std::size_t at, bool value) { PutInt16(bytes, at, value ? -1 : 0); }

// Older writers stored other non-zero values for "on"; all of them count.
bool GetBool(const RecordBytes& bytes, std::size_t at) { return GetInt16(bytes, at) != 0; }

void PutDate(RecordBytes& bytes, std::size_t at, double days) {
    // A date that is not a number would poison every comparison made with it
    // later; "no date" is the safe stand-in.
    if (!std::isfinite(days)) days = 0;
    const auto raw = std::bit_cast<uint64_t>(days);
    for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<uint8_t>(raw >> (8 * i));
}

double GetDate(const RecordBytes& bytes, std::size_t at) {
    uint64_t raw = 0;
    for (std::size_t i = 0; i < 8; ++i) raw |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    const double days = std::bit_cast<double>(raw);
    return std::isfinite(days) ? days : 0;
}

}  // namespace

bool TaskRecord::HasOption(int position) const {
    return position >= 1 && static_cast<std::size_t>(position) <= options.size() &&
           options[static_cast<std::size_t>(position) - 1] == '1';
}

bool TaskRecord::InstallChecked(int entry) const {
    return entry >= 0 && static_cast<std::size_t>(entry) < install.size() &&
           install[static_cast<std::size_t>(entry)] == '1';
}

std::string CutToField(const std::string& text, std::size_t width) {
    return text.substr(0, Utf8CutLength(text, width));
}

bool FitsField(const std::string& text, std::size_t width) { return text.size() <= width; }

std::string PathTooLongText(const std::string& which) {
    return "Error: the " + which + " path is longer than " + std::to_string(kPathFieldWidth) +
           " bytes; it was not taken";
}

RecordBytes EncodeRecord(const TaskRecord& record) {
    RecordBytes bytes{};
    PutText(bytes, kVersionAt, kVersionWidth, record.version);
    PutText(bytes, kPcFileAt, kPcFileWidth, record.pcfile);
    PutDate(bytes, kPcFileTimeAt, record.pcfiletime);
    PutText(bytes, kPalmFileAt, kPalmFileWidth, record.palmfile);
    PutDate(bytes, kPalmFileTimeAt, record.palmfiletime);
    PutInt16(bytes, kDirectionAt, record.direction);
    PutText(bytes, kOptionsAt, kOptionsWidth, record.options);
    PutInt16(bytes, kCategoryAt, record.category);
    PutInt16(bytes, kTabspaceAt, record.tabspace);
    PutText(bytes, kInstallAt, kInstallWidth, record.install);
    PutText(bytes, kStatusAt, kStatusWidth, record.status);
    PutInt16(bytes, kPcFilterAt, record.pcfilter);
    PutInt16(bytes, kPalmFilterAt, record.palmfilter);
    PutBool(bytes, kSwitch1At, record.switch1);
    PutBool(bytes, kSwitch2At, record.switch2);
    PutInt16(bytes, kCounterAt, record.counter);
    PutText(bytes, kTaskIdAt, kTaskIdWidth, record.taskid);
    return bytes;
}

TaskRecord DecodeRecord(const RecordBytes& bytes) {
    TaskRecord record;
    record.version = GetText(bytes, kVersionAt, kVersionWidth);
    record.pcfile = GetText(bytes, kPcFileAt, kPcFileWidth);
    record.pcfiletime = GetDate(bytes, kPcFileTimeAt);
    record.palmfile = GetText(bytes, kPalmFileAt, kPalmFileWidth);
    record.palmfiletime = GetDate(bytes, kPalmFileTimeAt);
    record.direction = GetInt16(bytes, kDirectionAt);
    record.options = GetText(bytes, kOptionsAt, kOptionsWidth);
    record.category = GetInt16(bytes, kCategoryAt);
    record.tabspace = GetInt16(bytes, kTabspaceAt);
    record.install = GetText(bytes, kInstallAt, kInstallWidth);
    record.status = GetText(bytes, kStatusAt, kStatusWidth);
    record.pcfilter = GetInt16(bytes, kPcFilterAt);
    record.palmfilter = GetInt16(bytes, kPalmFilterAt);
    record.switch1 = GetBool(bytes, kSwitch1At);
    record.switch2 = GetBool(bytes, kSwitch2At);
    record.counter = GetInt16(bytes, kCounterAt);
    record.taskid = GetText(bytes, kTaskIdAt, kTaskIdWidth);
    return record;
}

TaskRecord DefaultSettingsRecord() {
    TaskRecord record;
    record.version = "0010";
    record.direction = kDirectionNone;
    // Texts on this desktop are UTF-8, and a book's chapters become its
    // bookmarks; joining lines is for wrapped texts only, so it waits to be asked.
    record.options = "110000110";
    record.category = 0;
    record.tabspace = 4;
    record.install = "1";
    record.pcfilter = 1;
    record.palmfilter = 1;
    SetAutoNaming(record, true);
    SetAskOverwrite(record, true);
    record.counter = 0;
    return record;
}

TaskRecord DefaultClipboardRecord() {
    TaskRecord record;
    record.version = "0";
    record.palmfile = "clipboard.pdb";
    record.direction = kDirectionPcToPalm;
    record.options = "1100001";  // texts on this desktop are UTF-8
    record.category = 0;
    record.tabspace = 4;
    record.install = "1";
    record.pcfilter = 1;
    record.palmfilter = 1;
    SetCountsUp(record, false);
    SetWasHidden(record, false);
    record.counter = 0;
    record.taskid = "2";
    return record;
}

}  // namespace lum2
