#include "hotsync/system_user_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "hotsync/folder_tree_directory.h"
#include "hotsync/jpilot_directory.h"

namespace lum2 {

namespace {

// The J-Pilot user and the folder-tree users behind one set of positions and
// ids. The users are read once, when the directory is made: ids are positions
// plus one and must keep naming the same user for the directory's life.
//
// The J-Pilot user and the tree users live under different roots, so
// RootFolder() answers for the current user, like the other per-user calls.
// Callers always SelectUser before asking for folders.
class SystemUserDirectory : public UserDirectory {
public:
    explicit SystemUserDirectory(const DirectoryEnvironment& environment) {
        if (!environment.jpilotHome.empty()) {
            backends_.push_back(std::make_unique<JpilotDirectory>(environment.jpilotHome, environment.loginName));
        }
        if (!environment.hotsyncRoot.empty()) {
            backends_.push_back(std::make_unique<FolderTreeDirectory>(environment.hotsyncRoot));
        }
        // A directory that cannot be read is reported by UserCount, where the
        // install list is filled and a warning can be shown, not here.
        try {
            for (const auto& backend : backends_) {
                const int count = backend->UserCount();
                for (int position = 0; position < count; ++position) {
                    const int id = backend->UserIdAt(position);
                    if (id != 0) users_.push_back({backend.get(), id});
                }
            }
        } catch (const UserDirectoryError& error) {
            users_.clear();
            readError_ = error.what();
        }
    }

    int UserCount() override {
        if (!readError_.empty()) throw UserDirectoryError(readError_);
        return static_cast<int>(users_.size());
    }

    std::string RootFolder() override { return Current().RootFolder(); }

    int UserIdAt(int position) override {
        return position >= 0 && position < static_cast<int>(users_.size()) ? position + 1 : 0;
    }

    void SelectUser(int id) override {
        if (id < 1 || id > static_cast<int>(users_.size())) {
            throw UserDirectoryError("no HotSync user with id " + std::to_string(id));
        }
        const User& user = users_[static_cast<std::size_t>(id - 1)];
        user.backend->SelectUser(user.backendId);
        current_ = user.backend;
    }

    std::string UserName() override { return Current().UserName(); }
    std::string UserFolder() override { return Current().UserFolder(); }
    bool IsProfile() override { return Current().IsProfile(); }
    void InstallFile(const std::string& path) override { Current().InstallFile(path); }

private:
    struct User {
        UserDirectory* backend;
        int backendId;
    };

    UserDirectory& Current() const {
        if (current_ == nullptr) throw UserDirectoryError("no HotSync user selected");
        return *current_;
    }

    std::vector<std::unique_ptr<UserDirectory>> backends_;
    std::vector<User> users_;
    std::string readError_;
    UserDirectory* current_ = nullptr;
};

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

DirectoryEnvironment DirectoryEnvironment::FromProcess() {
    DirectoryEnvironment environment;
    // J-Pilot's own rule for where .jpilot lives.
    environment.jpilotHome = EnvironmentText("JPILOT_HOME");
    if (environment.jpilotHome.empty()) environment.jpilotHome = EnvironmentText("HOME");
    environment.hotsyncRoot = EnvironmentText("LUM2_HOTSYNC_ROOT");
    // The password database first: $USER is inherited and may name someone else.
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        environment.loginName = entry->pw_name;
    }
    if (environment.loginName.empty()) environment.loginName = EnvironmentText("USER");
    return environment;
}

std::unique_ptr<UserDirectory> MakeSystemUserDirectory(const DirectoryEnvironment& environment) {
    return std::make_unique<SystemUserDirectory>(environment);
}

}  // namespace lum2
