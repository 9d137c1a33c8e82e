#include "hotsync/jpilot_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "engine/safe_file.h"

namespace lum2 {

namespace {

constexpr int kJpilotUserId = 1;

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// jpilot.rc holds one "key value" setting a line; the user name is "user".
// A later line wins, as it does when J-Pilot reads the file top to bottom.
std::string NameFromRcFile(const std::string& rcPath) {
    std::ifstream in(rcPath);
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

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// The whole queue file; empty when there is none yet.
std::string ReadQueue(const std::string& queuePath) {
    std::FILE* in = std::fopen(queuePath.c_str(), "rb");
    if (in == nullptr) {
        if (errno == ENOENT) return {};
        throw UserDirectoryError(SystemError("cannot read J-Pilot's install list", queuePath, errno));
    }
    std::string queue;
    char buffer[8192];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) queue.append(buffer, got);
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    std::fclose(in);
    if (failed) throw UserDirectoryError(SystemError("cannot read J-Pilot's install list", queuePath, error));
    return queue;
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
    name_ = NameFromRcFile(root_ + ".jpilot/jpilot.rc");
    if (name_.empty()) name_ = loginName;
    // An install list entry without text could not be told apart or chosen.
    if (name_.empty()) name_ = "J-Pilot";
}

int JpilotDirectory::UserCount() { return present_ ? 1 : 0; }

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

    const std::string queuePath = root_ + ".jpilot/jpilot.install";
    std::string queue = ReadQueue(queuePath);
    if (QueueHoldsLine(queue, absolute)) return;
    if (!queue.empty() && queue.back() != '\n') queue += '\n';
    queue += absolute + '\n';

    // J-Pilot may read the list at any moment; it must never see half of it.
    ReplacementFile out(queuePath);
    if (!out.Ok()) throw UserDirectoryError(SystemError("cannot write J-Pilot's install list", queuePath, errno));
    if (std::fwrite(queue.data(), 1, queue.size(), out.File()) != queue.size() || !out.Commit()) {
        throw UserDirectoryError(SystemError("cannot write J-Pilot's install list", queuePath, errno));
    }
}

void JpilotDirectory::RequireSelection() const {
    if (!selected_) throw UserDirectoryError("no J-Pilot user selected");
}

}  // namespace lum2
