#include "hotsync/folder_tree_directory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/path_functions.h"
#include "base/safe_file.h"

namespace lum2 {

namespace fs = std::filesystem;

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A name is one short line; a file this large is not one.
constexpr std::size_t kNameReadLimit = 64 << 10;

// Folder names cannot hold every name a handheld may carry, so a "name"
// file may give the real one: its first line replaces name unless blank.
// False, with the reason, when the file is there but cannot be read.
bool ReadUserName(const std::string& userPath, std::string& name, std::string& cause) {
    const int fd = OpenRegularFile(userPath + "name", O_RDONLY, cause);
    if (fd < 0 && errno == ENOENT) cause.clear();
    if (fd < 0) return cause.empty();
    std::string text;
    const bool read = ReadAtMost(fd, kNameReadLimit, text, cause);
    close(fd);
    if (!read) {
        cause = userPath + "name: " + cause;
        return false;
    }
    const std::string line = Trimmed(text.substr(0, text.find('\n')));
    if (!line.empty()) name = line;
    return true;
}

}  // namespace

FolderTreeDirectory::FolderTreeDirectory(const std::string& hotsyncRoot) {
    if (hotsyncRoot.empty()) return;
    std::string bare = hotsyncRoot;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    root_ = bare == "/" ? bare : bare + "/";

    // A tree not made yet has no users; anything else that stops the
    // reading is a set-up fault the user should hear about.
    std::error_code error;
    const fs::file_status status = fs::status(bare, error);
    if (status.type() == fs::file_type::not_found) return;
    if (error) {
        readError_ = "cannot read the HotSync folder " + root_ + ": " + error.message();
        return;
    }
    if (!fs::is_directory(status)) {
        readError_ = "the HotSync folder " + bare + " is not a folder";
        return;
    }

    fs::directory_iterator it(root_, error);
    std::string cause;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string folder = it->path().filename().string();
        const std::string userPath = root_ + folder + "/";
        std::error_code ignored;
        if (!fs::is_directory(userPath + "backup", ignored)) continue;
        User user{folder, folder, fs::exists(userPath + "profile", ignored)};
        if (!ReadUserName(userPath, user.name, cause)) break;
        users_.push_back(std::move(user));
    }
    if (error) cause = error.message();
    if (!cause.empty()) {
        users_.clear();
        readError_ = "cannot read the HotSync folder " + root_ + ": " + cause;
        return;
    }
    // The file system lists in no fixed order; positions must not change
    // between runs, or the tasks' install choices would move to other users.
    std::sort(users_.begin(), users_.end(), [](const User& a, const User& b) { return a.folder < b.folder; });
}

int FolderTreeDirectory::UserCount() {
    if (!readError_.empty()) throw UserDirectoryError(readError_);
    return static_cast<int>(users_.size());
}

std::string FolderTreeDirectory::RootFolder() { return root_; }

int FolderTreeDirectory::UserIdAt(int position) {
    return position >= 0 && position < static_cast<int>(users_.size()) ? position + 1 : 0;
}

void FolderTreeDirectory::SelectUser(int id) {
    if (id < 1 || id > static_cast<int>(users_.size())) {
        throw UserDirectoryError("no HotSync user with id " + std::to_string(id) + " in " + root_);
    }
    current_ = id - 1;
}

std::string FolderTreeDirectory::UserName() { return Current().name; }

std::string FolderTreeDirectory::UserFolder() { return Current().folder; }

bool FolderTreeDirectory::IsProfile() { return Current().profile; }

void FolderTreeDirectory::InstallFile(const std::string& path) {
    const User& user = Current();
    const std::string name = FileNamePart(path);
    std::error_code error;
    if (name.empty() || name == "." || name == ".." || !fs::is_regular_file(path, error)) {
        throw UserDirectoryError("cannot install " + path + ": not a file");
    }
    const std::string installFolder = root_ + user.folder + "/install";
    fs::create_directory(installFolder, error);
    if (error) throw UserDirectoryError("cannot create " + installFolder + ": " + error.message());
    // The HotSync may pick the folder up at any moment; it must find either
    // the old file or the whole new one.
    const std::string target = installFolder + "/" + name;
    if (!CopyFileSafely(path, target)) throw UserDirectoryError("cannot copy " + path + " to " + target);
}

const FolderTreeDirectory::User& FolderTreeDirectory::Current() const {
    if (current_ < 0) throw UserDirectoryError("no HotSync user selected");
    return users_[static_cast<std::size_t>(current_)];
}

}  // namespace lum2
