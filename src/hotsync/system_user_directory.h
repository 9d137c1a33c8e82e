// The user directory of this machine: a J-Pilot user when J-Pilot is set up,
// then the users of the folder tree named by LUM2_HOTSYNC_ROOT.
#pragma once

#include <memory>
#include <string>

#include "hotsync/user_directory.h"

namespace lum2 {

struct DirectoryEnvironment {
    std::string jpilotHome;   // $JPILOT_HOME, else $HOME; empty: no J-Pilot
    std::string hotsyncRoot;  // $LUM2_HOTSYNC_ROOT; empty: no folder tree
    std::string loginName;    // the user's login name, for J-Pilot without a name
    static DirectoryEnvironment FromProcess();
};

std::unique_ptr<UserDirectory> MakeSystemUserDirectory(const DirectoryEnvironment& environment);

}  // namespace lum2
