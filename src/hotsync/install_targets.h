// The install targets: the HotSync users of the directory, then "Custom".
//
// The list holds one entry per user whose id is not 0, in position order, and
// remembers each entry's position, so that users after a gap keep matching
// entries in both directions. It holds at most 32 entries, because a task's
// install text has one character per entry: users beyond the 31st are left out
// with a warning.
#pragma once

#include <string>
#include <vector>

#include "hotsync/user_directory.h"

namespace lum2 {

inline constexpr int kMaximumInstallEntries = 32;
inline constexpr const char* kCustomEntryText = "Custom";

class InstallTargets {
public:
    // An empty directory pointer gives a list of "Custom" only.
    explicit InstallTargets(UserDirectory* directory = nullptr);

    // Reads the users anew and appends "Custom". Warnings (users left out, a
    // failing directory) are returned for the caller to show.
    std::vector<std::string> FillInstallList();

    int Count() const { return static_cast<int>(entries_.size()); }
    int CustomIndex() const { return Count() - 1; }
    bool IsCustom(int entry) const { return entry == CustomIndex(); }
    const std::string& EntryText(int entry) const { return entries_.at(entry).text; }
    std::vector<std::string> EntryTexts() const;

    // The user id of a user entry (asked of the directory anew).
    int UserIdAt(int entry);
    std::string UserName(int entry);
    // The folder Palm files of the entry's user are read from and written to,
    // with a trailing separator: root folder, user folder, "backup".
    std::string UserBackupFolder(int entry);
    // Hands path to the install of the entry's user.
    void QueueForInstall(int entry, const std::string& path);

    UserDirectory* Directory() const { return directory_; }

private:
    struct Entry {
        std::string text;
        int position;  // the user's position in the directory; -1 for "Custom"
    };
    int PositionOf(int entry) const;
    // Throws for "Custom", entries past the end and users gone since the fill.
    void SelectEntryUser(int entry);

    UserDirectory* directory_;
    std::vector<Entry> entries_;
};

}  // namespace lum2
