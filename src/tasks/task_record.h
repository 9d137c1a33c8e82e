// The 1,208-byte record of lumdata.dat, one shape for the settings, the
// clipboard settings and every task (tasks/store_layout.h tells them apart).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace lum2 {

inline constexpr std::size_t kRecordSize = 1208;
inline constexpr std::size_t kStatusWidth = 64;
// The install text: one character per install entry, so the install list
// holds no more entries than this (the conversion layer holds the two equal).
inline constexpr std::size_t kInstallWidth = 32;

// Direction codes, also the number of the direction picture.
enum Direction : int16_t {
    kDirectionNone = 1,
    kDirectionPalmToPc = 2,
    kDirectionPcToPalm = 3,
    kDirectionSync = 4,
};

// Positions (1-based) in the options text.
enum OptionPosition : int {
    kOptionCompress = 1,
    kOptionTabsToSpaces = 2,
    kOptionStripHtml = 3,
    kOptionCrToLf = 4,
    kOptionAllowBinary = 5,
    kOptionRaw = 6,
    // For these a blank or a missing character (older records) is off, so
    // an older task converts as it always did.
    kOptionUtf8Text = 7,
    kOptionBookmarks = 8,
    kOptionJoinLines = 9,
};

// Texts are held right-trimmed, as read back; dates are days since
// 1899-12-30 with the time of day as the fraction, 0 for none.
struct TaskRecord {
    std::string version;
    std::string pcfile;
    double pcfiletime = 0;
    std::string palmfile;
    double palmfiletime = 0;
    int16_t direction = 0;
    std::string options;
    int16_t category = 0;
    int16_t tabspace = 0;
    std::string install;
    std::string status;
    int16_t pcfilter = 0;
    int16_t palmfilter = 0;
    bool switch1 = false;
    bool switch2 = false;
    int16_t counter = 0;
    std::string taskid;

    // An option is set only when its character is exactly "1".
    bool HasOption(int position) const;
    // Install entry k (0-based) is selected when character k + 1 is "1".
    bool InstallChecked(int entry) const;
};

using RecordBytes = std::array<uint8_t, kRecordSize>;

// The record's bytes: texts blank padded and cut to their width without
// splitting a UTF-8 sequence, integers little-endian, booleans -1/0.
RecordBytes EncodeRecord(const TaskRecord& record);
// Reads the bytes back; texts right-trimmed.
TaskRecord DecodeRecord(const RecordBytes& bytes);

// Cuts text to at most width bytes, never inside a UTF-8 sequence.
std::string CutToField(const std::string& text, std::size_t width);

// The width in bytes of the pcfile and palmfile fields.
inline constexpr std::size_t kPathFieldWidth = 512;
// Whether text is stored whole in a field of width bytes. A path that does
// not fit must be refused where it enters: cut, it names another file.
bool FitsField(const std::string& text, std::size_t width);
// The message for a path that does not fit its field, e.g. "PC File".
std::string PathTooLongText(const std::string& which);

// The values lumdata.dat starts with.
TaskRecord DefaultSettingsRecord();
TaskRecord DefaultClipboardRecord();

}  // namespace lum2
