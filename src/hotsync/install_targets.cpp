#include "hotsync/install_targets.h"

#include <exception>

namespace lum2 {

namespace {

constexpr int kMaximumUserEntries = kMaximumInstallEntries - 1;

}  // namespace

InstallTargets::InstallTargets(UserDirectory* directory) : directory_(directory) {
    // Valid before the first fill: "Custom" is always the last entry.
    entries_.push_back({kCustomEntryText, -1});
}

std::vector<std::string> InstallTargets::FillInstallList() {
    std::vector<std::string> warnings;
    std::vector<Entry> users;
    if (directory_ != nullptr) {
        try {
            int leftOut = 0;
            const int count = directory_->UserCount();
            for (int position = 0; position < count; ++position) {
                const int id = directory_->UserIdAt(position);
                if (id == 0) continue;
                if (static_cast<int>(users.size()) >= kMaximumUserEntries) {
                    ++leftOut;
                    continue;
                }
                directory_->SelectUser(id);
                std::string name = directory_->UserName();
                if (directory_->IsProfile()) name += " - Profile";
                users.push_back({std::move(name), position});
            }
            if (leftOut > 0) {
                warnings.push_back("Warning: " + std::to_string(leftOut) +
                                   " HotSync users left out: the install list holds at most " +
                                   std::to_string(kMaximumUserEntries) + " users");
            }
        } catch (const std::exception& error) {
            // A half-read list would pair entries with the wrong users; offer
            // none rather than some.
            users.clear();
            warnings.clear();
            warnings.push_back(std::string("Warning: the HotSync users cannot be read: ") + error.what());
        }
    }
    users.push_back({kCustomEntryText, -1});
    entries_ = std::move(users);
    return warnings;
}

std::vector<std::string> InstallTargets::EntryTexts() const {
    std::vector<std::string> texts;
    texts.reserve(entries_.size());
    for (const auto& entry : entries_) texts.push_back(entry.text);
    return texts;
}

int InstallTargets::UserIdAt(int entry) {
    // PositionOf first, apart: it refuses entries without a directory, and
    // the call's object is evaluated before its arguments.
    const int position = PositionOf(entry);
    return directory_->UserIdAt(position);
}

std::string InstallTargets::UserName(int entry) {
    SelectEntryUser(entry);
    return directory_->UserName();
}

std::string InstallTargets::UserBackupFolder(int entry) {
    // Selecting first matters: the root folder differs between users.
    SelectEntryUser(entry);
    return directory_->RootFolder() + directory_->UserFolder() + "/backup/";
}

void InstallTargets::QueueForInstall(int entry, const std::string& path) {
    SelectEntryUser(entry);
    directory_->InstallFile(path);
}

int InstallTargets::PositionOf(int entry) const {
    if (directory_ == nullptr || entry < 0 || entry >= Count() || IsCustom(entry)) {
        throw UserDirectoryError("install list entry " + std::to_string(entry) + " is not a HotSync user");
    }
    return entries_[static_cast<std::size_t>(entry)].position;
}

void InstallTargets::SelectEntryUser(int entry) {
    const int id = UserIdAt(entry);
    // The user may have gone since the list was filled.
    if (id == 0)
        throw UserDirectoryError("the HotSync user of install list entry " + std::to_string(entry) + " is gone");
    directory_->SelectUser(id);
}

}  // namespace lum2
