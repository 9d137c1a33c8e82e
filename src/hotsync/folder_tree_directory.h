// Palm-Desktop-style users in a folder tree: every subfolder of the root that
// holds a "backup" folder is a user. A "name" file gives the user's name when
// it differs from the folder's, a "profile" file marks a profile, and files
// put into "install" go to the handheld at its next HotSync.
#pragma once

#include <string>
#include <vector>

#include "hotsync/user_directory.h"

namespace lum2 {

class FolderTreeDirectory : public UserDirectory {
public:
    // Reads the users once; users added later appear in a new directory.
    explicit FolderTreeDirectory(const std::string& hotsyncRoot);

    int UserCount() override;
    std::string RootFolder() override;
    int UserIdAt(int position) override;
    void SelectUser(int id) override;
    std::string UserName() override;
    std::string UserFolder() override;
    bool IsProfile() override;
    void InstallFile(const std::string& path) override;

private:
    struct User {
        std::string folder;  // the subfolder's name
        std::string name;
        bool profile = false;
    };
    const User& Current() const;

    std::string root_;       // hotsyncRoot + "/"
    std::string readError_;  // why the root could not be read; thrown by UserCount
    std::vector<User> users_;
    int current_ = -1;  // index into users_
};

}  // namespace lum2
