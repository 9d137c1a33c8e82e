// A conversion set-up for tests: a base directory, HotSync users in a temp
// folder tree served by an in-memory directory, a scripted host and the codec.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "convert/converters.h"
#include "base/file_times.h"
#include "convert/headless_host.h"
#include "hotsync/install_targets.h"
#include "static_codec.h"
#include "temp_dir.h"

namespace lum2::test {

// Users "Ann", "Bob" and "Cid" with folders under <temp>/palm/.
class FakeDirectory : public UserDirectory {
public:
    explicit FakeDirectory(std::string root) : root_(std::move(root)) {}

    int UserCount() override { return static_cast<int>(names.size()); }
    std::string RootFolder() override { return root_; }
    int UserIdAt(int position) override { return position >= 0 && position < UserCount() ? 100 + position : 0; }
    void SelectUser(int id) override {
        if (id < 100 || id >= 100 + UserCount()) throw UserDirectoryError("no user " + std::to_string(id));
        current_ = id - 100;
    }
    std::string UserName() override { return names.at(current_); }
    std::string UserFolder() override { return names.at(current_); }
    bool IsProfile() override { return false; }
    void InstallFile(const std::string& path) override { installed.emplace_back(names.at(current_), path); }

    std::vector<std::string> names = {"Ann", "Bob", "Cid"};
    std::vector<std::pair<std::string, std::string>> installed;  // user, path

private:
    std::string root_;
    int current_ = 0;
};

// Records what a conversion shows and answers prompts from a script; no answer left is Stop.
class ScriptedHost : public HeadlessHost {
public:
    ScriptedHost() {
        SetAnswerer([this](PromptKind kind, const std::string& question, const std::string& path) {
            prompts.push_back({kind, question, path});
            if (onPrompt) onPrompt();
            if (answers.empty()) return static_cast<int>(kAnswerStop);
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    void SetTrayIcon(TrayPicture picture, const std::string& tip) override {
        tray.emplace_back(static_cast<int>(picture), tip);
    }
    void ShowProgressDisplay(bool visible) override { display.push_back(visible); }
    void ReportFailureCause(const std::string& cause) override { causes.push_back(cause); }
    void Note(const std::string& text) override { notes.push_back(text); }
    void LetEventsRun() override {
        if (onEvents) onEvents();
    }

    struct Prompt { PromptKind kind; std::string question, path; };
    std::deque<int> answers;
    std::function<void()> onPrompt, onEvents;
    std::vector<Prompt> prompts;
    std::vector<std::pair<int, std::string>> tray;
    std::vector<bool> display;
    std::vector<std::string> causes, notes;
};

class ConversionTest : public ::testing::Test {
protected:
    ConversionTest()
        : directory_(dir_.Path() + "palm/"), targets_(&directory_), context_{host_, targets_, codec_, dir_.Path()} {
        for (const auto& name : directory_.names) std::filesystem::create_directories(UserFile(name, ""));
        targets_.FillInstallList();
    }

    // A task in the shape "New" gives, with these files.
    TaskRecord Task(const std::string& pc, const std::string& palm, int direction = kDirectionPcToPalm) {
        TaskRecord task;
        task.pcfile = pc, task.palmfile = palm, task.options = "000000";
        task.direction = static_cast<int16_t>(direction), task.tabspace = 4;
        return task;
    }
    std::string UserFile(const std::string& user, const std::string& name) const {
        return dir_.Path() + "palm/" + user + "/backup/" + name;
    }
    std::string F(const std::string& name) const { return dir_.File(name); }
    static double Time(const std::string& path) {
        double time = 0;
        EXPECT_TRUE(ModificationDate(path, time)) << path;
        return time;
    }
    int Custom() const { return targets_.CustomIndex(); }

    TempDir dir_;
    FakeDirectory directory_;
    InstallTargets targets_;
    ScriptedHost host_;
    CodecFunctions codec_ = StaticCodec();
    ConversionContext context_;
};

}  // namespace lum2::test
