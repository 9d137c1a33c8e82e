#include "hotsync/jpilot_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

#include "base/safe_file.h"

namespace lum2 {

namespace {

constexpr int kJpilotUserId = 1;

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// J-Pilot's lists are a few lines; a file this large is no list of its.
constexpr std::size_t kReadLimit = 16 << 20;

// Closes a descriptor with its scope, unless given back with Release.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The whole of one of J-Pilot's files; empty when there is none. what names
// it in the message of a failure.
std::string ReadJpilotFile(const std::string& path, const std::string& what) {
    std::string cause;
    const Descriptor in(OpenRegularFile(path, O_RDONLY, cause));
    if (in.Get() < 0) {
        if (errno == ENOENT) return {};
        throw UserDirectoryError("cannot read " + what + ": " + cause);
    }
    std::string text;
    if (!ReadAtMost(in.Get(), kReadLimit, text, cause)) {
        throw UserDirectoryError("cannot read " + what + ": " + path + ": " + cause);
    }
    return text;
}

// jpilot.rc holds one "key value" setting a line; the user name is "user".
// A later line wins, as it does when J-Pilot reads the file top to bottom.
std::string NameFromRcFile(const std::string& rcText) {
    std::istringstream in(rcText);
    std::string name;
    std::string line;
    while (std::getline(in, line)) {
        const std::string setting = Trimmed(line);
        const auto keyEnd = setting.find_first_of(" \t");
        if (keyEnd == std::string::npos || setting.compare(0, keyEnd, "user") != 0) continue;
        name = Trimmed(setting.substr(keyEnd));
    }
    return name;
}

bool QueueHoldsLine(const std::string& queue, const std::string& wanted) {
    std::size_t start = 0;
    while (start < queue.size()) {
        auto end = queue.find('\n', start);
        if (end == std::string::npos) end = queue.size();
        std::string line = queue.substr(start, end - start);
        // A queue edited on another system may end its lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == wanted) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

JpilotDirectory::JpilotDirectory(const std::string& jpilotHome, const std::string& loginName) {
    if (jpilotHome.empty()) return;
    root_ = jpilotHome;
    if (root_.back() != '/') root_ += '/';
    std::error_code ignored;
    present_ = std::filesystem::is_directory(root_ + ".jpilot", ignored);
    if (!present_) return;
    try {
        name_ = NameFromRcFile(ReadJpilotFile(root_ + ".jpilot/jpilot.rc", "J-Pilot's settings"));
    } catch (const UserDirectoryError& error) {
        readError_ = error.what();
    }
    if (name_.empty()) name_ = loginName;
    // An install list entry without text could not be told apart or chosen.
    if (name_.empty()) name_ = "J-Pilot";
}

int JpilotDirectory::UserCount() {
    if (!readError_.empty()) throw UserDirectoryError(readError_);
    return present_ ? 1 : 0;
}

std::string JpilotDirectory::RootFolder() {
    RequireSelection();
    return root_;
}

int JpilotDirectory::UserIdAt(int position) { return present_ && position == 0 ? kJpilotUserId : 0; }

void JpilotDirectory::SelectUser(int id) {
    if (!present_ || id != kJpilotUserId) {
        throw UserDirectoryError("no J-Pilot user with id " + std::to_string(id));
    }
    selected_ = true;
}

std::string JpilotDirectory::UserName() {
    RequireSelection();
    return name_;
}

std::string JpilotDirectory::UserFolder() {
    RequireSelection();
    // Callers ask for this folder to reach backup/, where the Palm files are
    // written. J-Pilot makes backup/ at its first sync only, so without it
    // every task for a J-Pilot that never synced would fail; it is made as
    // J-Pilot makes it, private to the user. mkdir replaces nothing (a link
    // or a file planted as backup stays, and a write through it is judged
    // there) and makes no .jpilot that has gone. A failure shows as the cause
    // of the write that needs the folder.
    mkdir((root_ + ".jpilot/backup").c_str(), 0700);
    return ".jpilot";
}

bool JpilotDirectory::IsProfile() {
    RequireSelection();
    return false;
}

void JpilotDirectory::InstallFile(const std::string& path) {
    RequireSelection();
    // J-Pilot reads the list a line at a time, so such a path would turn
    // into two wrong ones.
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) {
        throw UserDirectoryError("cannot queue \"" + path + "\" for J-Pilot: not a usable file path");
    }
    std::error_code error;
    // J-Pilot runs with a working folder of its own; only a full path finds the file.
    const std::string absolute = std::filesystem::absolute(path, error).string();
    if (error) throw UserDirectoryError("cannot queue " + path + " for J-Pilot: " + error.message());

    // J-Pilot and other programs add to the list too, and J-Pilot may read it
    // at any moment: one O_APPEND write of a whole line keeps every line of
    // theirs and never shows half of ours. The list tells what goes to the
    // handheld, so a new one is private, as J-Pilot's own files are.
    const std::string queuePath = root_ + ".jpilot/jpilot.install";
    const std::string what = "J-Pilot's install list";
    std::string cause;
    Descriptor out(OpenRegularFile(queuePath, O_WRONLY | O_APPEND | O_CREAT, cause, 0600));
    if (out.Get() < 0) throw UserDirectoryError("cannot add to " + what + ": " + cause);
    const Descriptor in(OpenRegularFile(queuePath, O_RDONLY, cause));
    if (in.Get() < 0) throw UserDirectoryError("cannot read " + what + ": " + cause);
    struct stat appended {};
    struct stat checked {};
    if (fstat(out.Get(), &appended) != 0 || fstat(in.Get(), &checked) != 0 || appended.st_ino != checked.st_ino ||
        appended.st_dev != checked.st_dev) {
        // Someone saved a new list between the two opens (an editor does so
        // by renaming): checking one file and adding to another could join
        // two paths or queue one twice.
        throw UserDirectoryError("cannot add to " + what + ": " + queuePath + " was replaced while it was read");
    }
    std::string queue;
    bool read = ReadAtMost(in.Get(), kReadLimit, queue, cause);
    // A read can see half of a line another program is writing that moment
    // (the kernel copies a write page by page); given a moment, the line is
    // whole and needs no break of ours.
    if (read && !queue.empty() && queue.back() != '\n') {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        read = ReadAtMost(in.Get(), kReadLimit, queue, cause);
    }
    if (!read) throw UserDirectoryError("cannot read " + what + ": " + queuePath + ": " + cause);
    if (QueueHoldsLine(queue, absolute)) return;

    std::string line = absolute + '\n';
    // A line still unfinished, or a hand edit without a final line break,
    // must not run into ours; in the same write, so that no other line comes
    // between.
    if (!queue.empty() && queue.back() != '\n') line.insert(0, 1, '\n');
    ssize_t wrote;
    do {
        wrote = write(out.Get(), line.data(), line.size());
    } while (wrote < 0 && errno == EINTR);
    if (wrote != static_cast<ssize_t>(line.size())) {
        // Not written again: a second write could land between other
        // writers' lines. A piece written stays, and the next line added
        // starts with a line break.
        const int writeError = wrote < 0 ? errno : ENOSPC;
        std::string failure = "cannot add to " + what + ": " + queuePath + ": " + ErrorText(writeError);
        if (wrote >= 0) failure += " (" + std::to_string(wrote) + " of " + std::to_string(line.size()) + " bytes)";
        throw UserDirectoryError(failure);
    }
    // Linux releases the descriptor even when close reports EINTR.
    if (fsync(out.Get()) != 0 || (close(out.Release()) != 0 && errno != EINTR)) {
        throw UserDirectoryError("cannot add to " + what + ": " + queuePath + ": " + ErrorText(errno));
    }
}

void JpilotDirectory::RequireSelection() const {
    if (!selected_) throw UserDirectoryError("no J-Pilot user selected");
}

}  // namespace lum2
