// Tests of what a user may not do (write into a read-only folder, remove another user's file) need an
// ordinary user: root may write and remove whatever the modes say.
#pragma once

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace testsupport {

#ifdef _WIN32
// Windows has no root that may do whatever the modes say: nothing is given away there, and work runs
// with the test's own rights.
using UserId = int;
#else
using UserId = uid_t;
#endif

// The ordinary user that tests run as root hand their files to.
inline constexpr UserId kNobody = 65534;

// True when the tests run as root, who may hand files to another user.
bool RunsAsRoot();

// Gives top and everything below it (links themselves, not their targets) to user; as anyone but
// root this quietly does nothing.
void GiveAway(const std::filesystem::path& top, UserId user);

// Runs work with an ordinary user's rights and gives its answer (0 to 254): as root in a child process
// that has become kNobody (the test process keeps its rights), as anyone else here. -1 when the
// rights could not be dropped or the child did not end normally.
int RunAsOrdinaryUser(const std::function<int()>& work);

} // namespace testsupport
