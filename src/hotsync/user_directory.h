// The HotSync user directory: the users whose handhelds receive Palm files.
//
// Eight operations, in the shape Palm Desktop's user control offers them, so
// that any directory giving the same answers can serve: a J-Pilot user, a
// folder tree of Palm-Desktop-style users, or a test's own.
#pragma once

#include <stdexcept>
#include <string>

namespace lum2 {

// A failing directory call; the converters report it as their generic error.
class UserDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UserDirectory {
public:
    virtual ~UserDirectory() = default;

    virtual int UserCount() = 0;
    // The folder that holds the users' folders, joined directly in front of
    // UserFolder (it ends with a separator when one is needed).
    virtual std::string RootFolder() = 0;
    // The id of the user at position (0-based); 0 when there is none. Ids are
    // non-zero and stable for the life of the program.
    virtual int UserIdAt(int position) = 0;
    // Makes the user with that id current for the four calls below.
    virtual void SelectUser(int id) = 0;
    virtual std::string UserName() = 0;
    // RootFolder() + UserFolder() is the user's folder, without a trailing separator.
    virtual std::string UserFolder() = 0;
    virtual bool IsProfile() = 0;
    // Hands the Palm file at path to the current user's next HotSync.
    virtual void InstallFile(const std::string& path) = 0;
};

}  // namespace lum2
