// What a test does to processes: children it starts end with it, and
// environment variables it sets are given back.
//
// A child runs in a process group of its own, killed (SIGKILL) once the child
// has ended or outlived its time limit, so that nothing it started lives on;
// the child itself is killed when the test process ends, however it ends
// (ctest's timeout ends only the test process).
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace lum2::test {

// Well above any normal run of a test's child, sanitizers included.
constexpr std::chrono::milliseconds kChildTimeLimit = std::chrono::seconds(60);

// For a child between fork and exec (or QProcess's child process modifier):
// a process group of its own, and SIGKILL when the test process ends.
void EndWithTheTest();

// Forks a child that calls EndWithTheTest and then body, and exits with what
// body returns (body may exec instead). Returns the child's pid; -1 when the
// fork failed.
pid_t StartChild(const std::function<int()>& body);

// Waits for child, at most limit; then kills its process group. Returns the
// child's wait status, or -1 when it had to be killed (or was reaped before).
// usage, when given, gets what the child used (ru_maxrss: its peak size).
int WaitForChild(pid_t child, std::chrono::milliseconds limit = kChildTimeLimit, rusage* usage = nullptr);

// StartChild and WaitForChild: the wait status of body's run, -1 when it
// outlived limit.
inline int RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit = kChildTimeLimit) {
    return WaitForChild(StartChild(body), limit);
}

// Sets (value given) or unsets an environment variable until the end of the scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* now = std::getenv(name)) old_ = now;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace lum2::test
