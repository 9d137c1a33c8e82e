// The J-Pilot user: the one user of a J-Pilot set-up in <home>/.jpilot.
//
// J-Pilot keeps the Palm files of its user in .jpilot/backup and installs,
// at the next HotSync, the files named line by line in .jpilot/jpilot.install.
#pragma once

#include <string>

#include "hotsync/user_directory.h"

namespace lum2 {

class JpilotDirectory : public UserDirectory {
public:
    // jpilotHome is the folder that holds .jpilot. Without a .jpilot folder
    // there is no user. loginName names the user when jpilot.rc names none.
    JpilotDirectory(const std::string& jpilotHome, const std::string& loginName);

    int UserCount() override;
    std::string RootFolder() override;
    int UserIdAt(int position) override;
    void SelectUser(int id) override;
    std::string UserName() override;
    std::string UserFolder() override;
    bool IsProfile() override;
    void InstallFile(const std::string& path) override;

private:
    void RequireSelection() const;

    std::string root_;  // jpilotHome + "/"
    std::string name_;
    std::string readError_;  // why jpilot.rc could not be read; thrown by UserCount
    bool present_ = false;
    bool selected_ = false;
};

}  // namespace lum2
