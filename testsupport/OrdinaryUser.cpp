#include "OrdinaryUser.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace fs = std::filesystem;

#ifdef _WIN32

bool RunsAsRoot() {
    return false;
}

void GiveAway(const fs::path&, UserId) {}

int RunAsOrdinaryUser(const std::function<int()>& work) {
    return work();
}

#else

bool RunsAsRoot() {
    return ::geteuid() == 0;
}

void GiveAway(const fs::path& top, UserId user) {
    // Only root may give files away, and only root can walk into folders shut even to their owner.
    if (::geteuid() != 0) {
        return;
    }
    ::lchown(top.c_str(), user, user);
    if (!fs::is_directory(fs::symlink_status(top))) {
        return;
    }
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        ::lchown(it->path().c_str(), user, user);
    }
}

int RunAsOrdinaryUser(const std::function<int()>& work) {
    if (::geteuid() != 0) {
        return work();
    }
    constexpr int kNotDropped = 255;
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped ? work() : kNotDropped);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == kNotDropped) {
        return -1;
    }
    return WEXITSTATUS(status);
}

#endif

} // namespace testsupport
