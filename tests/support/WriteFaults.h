#pragma once
// A write that fails at every point: the writer under test runs in a child process whose files
// may grow only up to a limit (RLIMIT_FSIZE, with SIGXFSZ ignored, so the first write past the
// limit fails with EFBIG as it would on a full disk), once for each limit 0, step, 2 step, ...
// until the writer gets through. After each run the test looks at what the files hold. Header
// only, so that each subsystem's test program can use it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>

namespace parvell::faults {

enum class WriteOutcome { Succeeded, Failed };

struct FailedWriteRuns {
    // Puts the files into their state before the write (runs in this process).
    std::function<void()> prepare;
    // The writer (runs in the child); it reports a failed write by throwing.
    std::function<void()> write;
    // Looks at the files after a run (in this process); `limit` says which run it was.
    std::function<void(WriteOutcome outcome, off_t limit)> check;
    off_t step = 1;
    // A writer still failing at this limit is a fault of its own (it never gets through).
    off_t maxLimit = 1 << 24;
};

// Runs the writer at every limit until it succeeds; returns the number of runs that failed. A
// child that crashes, or exits in any other way than returning or throwing, fails the test.
inline int ForEachFailedWrite(const FailedWriteRuns& runs) {
    int failed = 0;
    for (off_t limit = 0; limit <= runs.maxLimit; limit += runs.step) {
        runs.prepare();
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
            if (::setrlimit(RLIMIT_FSIZE, &size) != 0) ::_exit(3);
            int code = 0;
            try {
                runs.write();
            } catch (...) {
                code = 1;
            }
            ::_exit(code);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
            ADD_FAILURE() << "the writer ended abnormally with files limited to " << limit
                          << " bytes (status " << status << ")";
            return failed;
        }
        const bool succeeded = WEXITSTATUS(status) == 0;
        runs.check(succeeded ? WriteOutcome::Succeeded : WriteOutcome::Failed, limit);
        if (succeeded) return failed;
        ++failed;
    }
    ADD_FAILURE() << "the writer still fails with files limited to " << runs.maxLimit << " bytes";
    return failed;
}

}  // namespace parvell::faults
