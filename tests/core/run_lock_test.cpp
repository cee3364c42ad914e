#include "core/run_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace qv {
namespace {

TEST(DataFileRunLock, OneHolderAtATimeWithinAndAcrossProcesses) {
    test::TempDir dir;
    const std::string path = dir.file("t.db");
    test::WriteFileBytes(path, "x");

    DataFileRunLock first = DataFileRunLock::TryAcquire(path);
    ASSERT_TRUE(first.held());
    EXPECT_TRUE(IsBeingCollected(path));
    // A second run in the same process is refused too: the lock is per open file.
    EXPECT_FALSE(DataFileRunLock::TryAcquire(path).held());
    // Checking must not take the lock away from its holder.
    EXPECT_TRUE(IsBeingCollected(path));

    const pid_t child = fork();
    if (child == 0) _exit(DataFileRunLock::TryAcquire(path).held() ? 1 : 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process took a held lock";

    DataFileRunLock moved = std::move(first);
    EXPECT_TRUE(IsBeingCollected(path));
    moved.Release();
    EXPECT_FALSE(IsBeingCollected(path));
    EXPECT_TRUE(DataFileRunLock::TryAcquire(path).held());
}

TEST(DataFileRunLock, DiesWithItsProcessAndRefusesMissingFiles) {
    test::TempDir dir;
    const std::string path = dir.file("t.db");
    test::WriteFileBytes(path, "x");

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        DataFileRunLock lock = DataFileRunLock::TryAcquire(path);
        char c = lock.held() ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_TRUE(IsBeingCollected(path));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(IsBeingCollected(path)) << "a killed run must not leave its file locked";

    EXPECT_THROW(DataFileRunLock::TryAcquire(dir.file("missing.db")), std::runtime_error);
    EXPECT_FALSE(IsBeingCollected(dir.file("missing.db")));
}

}  // namespace
}  // namespace qv
