// The deletion run's worker thread against the thread that watches it: the
// state both share, without any window (so that ThreadSanitizer sees only
// our own code).
#include "run/DeletionRun.h"

#include "tests/support/SlowDisk.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

TEST(DeletionRun, StatusFollowsTheWorkerAndCancelStopsIt)
{
    TempDir dir;
    MakeDir(dir / "folder");
    for (int i = 0; i < 20; ++i) {
        WriteFile(dir / ("folder/f" + std::to_string(i)), "small");
    }
    WriteFile(dir / "big", std::string(8 << 20, 'b'));
    WriteFile(dir / "after", "after");
    SetSlowWrites(20); // 8 MiB in 1 MiB calls: a few tenths of a second per pass

    DeletionRun run({dir / "folder", dir / "big", dir / "after"}, false);
    run.Start();
    DeletionRun::Status status;
    std::uint64_t lastBytes = 0;
    while (!run.IsFinished()) {
        status = run.GetStatus();
        EXPECT_GE(status.bytesDone, lastBytes) << "progress never goes back";
        lastBytes = status.bytesDone;
        if (status.current == dir / "big" && status.bytesDone > 20 * 1024 * 5) {
            run.Cancel();
        }
        run.WaitFinished(5);
    }
    SetSlowWrites(0);

    const std::vector<ShredResult>& results = run.Results();
    ASSERT_EQ(2u, results.size()) << "the path after the cancelled one is not reached";
    EXPECT_TRUE(results[0].Complete());
    EXPECT_EQ(20u, results[0].shredded);
    EXPECT_TRUE(results[1].cancelled);
    EXPECT_EQ(22u, run.GetStatus().entriesTotal);
    EXPECT_TRUE(Exists(dir / "big")) << "the cancelled file keeps its name";
    EXPECT_EQ("after", ReadFile(dir / "after"));
}
