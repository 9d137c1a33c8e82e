#include "process.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace lum2::test {

void EndWithTheTest() {
    const pid_t test = getppid();
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The test may have ended before the death signal was asked for.
    if (getppid() != test) _exit(125);
}

pid_t StartChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        EndWithTheTest();
        _exit(body());  // never the test's own exit: its folders and reports are the parent's
    }
    // Also here, so that the group exists before the parent may kill it.
    if (child > 0) setpgid(child, child);
    return child;
}

int WaitForChild(pid_t child, std::chrono::milliseconds limit, rusage* usage) {
    if (child <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    siginfo_t ended{};
    // Looked at without reaping it, so that its group cannot be another's yet.
    for (;;) {
        if (waitid(P_PID, child, &ended, WEXITED | WNOHANG | WNOWAIT) != 0) return -1;  // reaped already
        if (ended.si_pid != 0 || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(-child, SIGKILL);
    int status = -1;
    rusage used{};
    if (wait4(child, &status, 0, usage != nullptr ? usage : &used) != child) return -1;
    return ended.si_pid == child ? status : -1;
}

}  // namespace lum2::test
