// Where things live in lumdata.dat, and what the two switches of each kind of
// record mean. Every record number and switch meaning has its home here.
#pragma once

#include "tasks/task_record.h"

namespace lum2 {

// Record 1 holds the settings (and the defaults of new tasks), record 2 the
// clipboard conversion's settings, and records 3 and up the tasks in list
// order: list row p is record p + 2.
inline constexpr int kSettingsRecord = 1;
inline constexpr int kClipboardRecord = 2;
inline constexpr int kFirstTaskRecord = 3;

inline constexpr int RecordOfRow(int row) { return row + kFirstTaskRecord - 1; }
inline constexpr int RowOfRecord(int record) { return record - kFirstTaskRecord + 1; }

// The settings record: switch1 is "Auto Naming", switch2 "Ask Overwrite".
inline bool AutoNaming(const TaskRecord& settings) { return settings.switch1; }
inline bool AskOverwrite(const TaskRecord& settings) { return settings.switch2; }
inline void SetAutoNaming(TaskRecord& settings, bool on) { settings.switch1 = on; }
inline void SetAskOverwrite(TaskRecord& settings, bool on) { settings.switch2 = on; }

// The clipboard record: switch1 is "Count up" of the clipboard file name,
// switch2 whether the window was hidden in the tray when the program ended.
inline bool CountsUp(const TaskRecord& clipboard) { return clipboard.switch1; }
inline bool WasHidden(const TaskRecord& clipboard) { return clipboard.switch2; }
inline void SetCountsUp(TaskRecord& clipboard, bool on) { clipboard.switch1 = on; }
inline void SetWasHidden(TaskRecord& clipboard, bool hidden) { clipboard.switch2 = hidden; }

}  // namespace lum2
