// Helpers shared by the tests of the file-writing classes: running code in a
// child process under a file size limit so that writes fall short the way
// they do on a full disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kelvane::test {

// Whether runWithFileSizeLimit works here: the Windows runtime has neither
// fork nor a file size limit, so tests that need one skip themselves there.
#ifdef _WIN32
inline constexpr bool kHasFileSizeLimit = false;
#else
inline constexpr bool kHasFileSizeLimit = true;
#endif

// Runs `body` in a child process in which no file may grow beyond `limit`
// bytes. SIGXFSZ is ignored there, so a write that crosses the limit takes
// what fits and the next one fails, as on a full disk. Returns the child's
// exit code (the result of `body`), or -1 when it did not exit normally.
inline int runWithFileSizeLimit([[maybe_unused]] std::uint64_t limit,
                                [[maybe_unused]] const std::function<int()>& body)
{
#ifdef _WIN32
    return -1;
#else
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{};
        ::getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = static_cast<rlim_t>(limit);
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace kelvane::test
