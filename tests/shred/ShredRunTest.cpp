// A run over several paths: totals known before the first write, progress
// reports, and cancelling at a block boundary.
#include "shred/ShredRun.h"
#include "shred/OverwritePass.h"
#include "shred/ShredBatch.h"
#include "shred/ShredProgress.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Records what the run reports; cancels once `cancelAfter` bytes of the
// entry named `cancelIn` are written, or once `stopListingAt` entries are
// listed.
class Recorder : public ShredProgress
{
public:
    bool OnListed(std::uint64_t entries) override
    {
        listed = entries;
        return stopListingAt == 0 || entries < stopListingAt;
    }
    bool OnEntry(const std::string& path, std::uint64_t bytes) override
    {
        entries.push_back(path);
        entryBytes.push_back(bytes);
        written = 0;
        return entries.size() != cancelAtEntry;
    }
    bool OnWritten(std::uint64_t bytes) override
    {
        EXPECT_GE(bytes, written) << "progress must never go back within an entry";
        written = bytes;
        ++writes;
        return (cancelIn.empty() || entries.back() != cancelIn || bytes < cancelAfter) &&
               writes != cancelAtWrite;
    }

    std::uint64_t listed = 0;
    std::uint64_t stopListingAt = 0;
    std::vector<std::string> entries;
    std::vector<std::uint64_t> entryBytes;
    std::uint64_t written = 0;
    std::string cancelIn;
    std::size_t cancelAtEntry = 0; // counted from 1; 0: never
    std::uint64_t cancelAfter = 0;
    std::size_t writes = 0;
    std::size_t cancelAtWrite = 0; // counted from 1; 0: never
};

} // namespace

TEST(ShredRun, KnowsItsTotalsBeforeWritingAndReportsEachEntry)
{
    TempDir dir;
    MakeDir(dir / "folder");
    WriteFile(dir / "single", std::string(1500, 'x'));                       // 2 blocks
    WriteFile(dir / "folder/one", std::string(1, 'x'));                      // 1 block
    WriteFile(dir / "folder/two", std::string(2048, 'x'));                   // 2 blocks
    ASSERT_EQ(0, ::symlink("/etc/hostname", (dir / "folder/link").c_str())); // no bytes

    for (const bool quick : {false, true}) {
        SCOPED_TRACE(quick);
        Recorder recorder;
        ShredRun run(quick, &recorder);
        ASSERT_TRUE(run.List(dir / "folder"));
        ASSERT_TRUE(run.List(dir / "single"));
        ASSERT_TRUE(run.List(dir / "missing"));
        EXPECT_EQ(4u, run.TotalEntries());
        EXPECT_EQ((quick ? 1u : 2u) * 5 * 1024, run.TotalBytes());
        EXPECT_TRUE(Exists(dir / "single")) << "listing must not touch anything";
        if (quick) {
            ASSERT_TRUE(run.Execute());
            ASSERT_EQ(3u, run.Results().size());
            EXPECT_TRUE(run.Results()[0].Complete());
            EXPECT_EQ(3u, run.Results()[0].shredded);
            EXPECT_TRUE(run.Results()[1].Complete());
            EXPECT_FALSE(run.Results()[2].found);
            EXPECT_EQ(4u, recorder.entries.size());
            std::uint64_t sum = 0;
            for (std::uint64_t bytes : recorder.entryBytes) {
                sum += bytes;
            }
            EXPECT_EQ(run.TotalBytes(), sum);
            // All four share a batch, written in another order than listed:
            // what it reports is the share of the entry reported last.
            EXPECT_EQ(recorder.entryBytes.back(), recorder.written);
            EXPECT_EQ(std::vector<std::string>{}, ListNames(dir / "folder"));
        }
    }
}

TEST(ShredRun, CancelStopsWithinAChunkAndKeepsTheFileItsName)
{
    TempDir dir;
    WriteFile(dir / "first", "first");
    const std::size_t size = 4 * kShredChunkSize;
    WriteFile(dir / "big", std::string(size, 'b'));
    WriteFile(dir / "last", "last");
    Recorder recorder;
    recorder.cancelIn = dir / "big";
    recorder.cancelAfter = kShredChunkSize;
    ShredRun run(false, &recorder);
    for (const char* name : {"first", "big", "last"}) {
        ASSERT_TRUE(run.List(dir / name));
    }
    EXPECT_FALSE(run.Execute());

    ASSERT_EQ(2u, run.Results().size()) << "the last path must not be reached";
    EXPECT_TRUE(run.Results()[0].Complete());
    const ShredResult& cancelled = run.Results()[1];
    EXPECT_TRUE(cancelled.cancelled);
    ASSERT_EQ(1u, cancelled.failures.size());
    EXPECT_EQ(ShredError::Cancelled, cancelled.failures[0].kind);

    EXPECT_FALSE(Exists(dir / "first"));
    EXPECT_EQ("last", ReadFile(dir / "last"));
    // Under its own name, never renamed; stopped within a chunk of the cancel.
    const std::string big = ReadFile(dir / "big");
    ASSERT_EQ(size, big.size());
    const size_t zeros = big.find_first_not_of('\0');
    EXPECT_GE(zeros, recorder.cancelAfter);
    EXPECT_LE(zeros, recorder.cancelAfter + 2 * kShredChunkSize);
    EXPECT_EQ(0u, zeros % 1024);
    EXPECT_EQ(std::string::npos, big.find_first_not_of('b', zeros));
    EXPECT_EQ((std::vector<std::string>{"big", "last"}), ListNames(dir.Path()));
}

TEST(ShredRun, CancelInABatchRemovesExactlyTheFilesWhosePassesWereComplete)
{
    // Five small files make one batch; its progress asks once per file and
    // pass. A full batch and five more make two: the first is renamed and
    // removed on a thread of its own while the second is written.
    constexpr std::size_t kTwo = ShredBatch::kMaxFiles + 5;
    constexpr std::size_t kFull = ShredBatch::kMaxFiles;
    struct Case
    {
        bool quick;
        std::size_t atEntry; // cancel when this entry begins (from 1), or
        std::size_t atWrite; // at this question during the passes
        std::uint64_t removed;
        bool oneByOne; // each file a listed path of its own, sharing the batch
        std::size_t files = 5;
    };
    for (const Case c :
         {Case{false, 3, 0, 0, false}, Case{true, 0, 3, 2, false}, Case{false, 0, 3, 0, false},
          Case{false, 0, 8, 2, false}, Case{false, 3, 0, 0, true}, Case{false, 0, 8, 2, true},
          Case{false, kFull + 3, 0, kFull, false, kTwo},
          Case{true, 0, kFull + 3, kFull + 2, false, kTwo}}) {
        SCOPED_TRACE(testing::Message() << c.quick << " " << c.atEntry << " " << c.atWrite << " "
                                        << c.oneByOne << " " << c.files);
        TempDir dir;
        MakeDir(dir / "many");
        for (std::size_t i = 0; i < c.files; ++i) {
            WriteFile(dir / ("many/f" + std::to_string(i)), "content");
        }
        Recorder recorder;
        recorder.cancelAtEntry = c.atEntry;
        recorder.cancelAtWrite = c.atWrite;
        ShredRun run(c.quick, &recorder);
        if (c.oneByOne) {
            for (const std::string& name : ListNames(dir / "many")) {
                ASSERT_TRUE(run.List(dir / ("many/" + name)));
            }
        } else {
            ASSERT_TRUE(run.List(dir / "many"));
        }
        EXPECT_FALSE(run.Execute());
        ASSERT_EQ(c.oneByOne ? recorder.entries.size() : 1u, run.Results().size())
            << "each path reached has its result, no other";
        std::uint64_t shredded = 0;
        std::size_t failures = 0;
        for (std::size_t i = 0; i < run.Results().size(); ++i) {
            const ShredResult& result = run.Results()[i];
            shredded += result.shredded;
            failures += result.failures.size();
            for (const ShredFailure& failure : result.failures) {
                EXPECT_EQ(ShredError::Cancelled, failure.kind);
                EXPECT_TRUE(Exists(failure.path));
            }
            if (c.oneByOne) {
                // A path whose file is still there never passes for done.
                EXPECT_EQ(!Exists(recorder.entries[i]), result.Complete()) << i;
                EXPECT_EQ(!result.Complete(), result.cancelled) << i;
            }
        }
        EXPECT_TRUE(run.Results().back().cancelled);
        EXPECT_EQ(c.removed, shredded);
        for (std::size_t i = 0; i < recorder.entries.size(); ++i) {
            EXPECT_EQ(i >= c.removed, Exists(recorder.entries[i])) << recorder.entries[i];
        }
        EXPECT_EQ(c.files - c.removed, ListNames(dir / "many").size())
            << "nothing under another name";
        EXPECT_NE(0u, failures);
    }
}

TEST(ShredRun, ListingCanBeCancelled)
{
    TempDir dir;
    MakeDir(dir / "many");
    for (int i = 0; i < 600; ++i) {
        WriteFile(dir / ("many/f" + std::to_string(i)), "x");
    }
    Recorder recorder;
    recorder.stopListingAt = 256;
    ShredRun run(false, &recorder);
    EXPECT_FALSE(run.List(dir / "many"));
    EXPECT_EQ(256u, recorder.listed);
    EXPECT_EQ(600u, ListNames(dir / "many").size());
}

TEST(ShredRun, AFolderSwappedAfterListingIsNotEntered)
{
    for (const bool forLink : {true, false}) {
        SCOPED_TRACE(forLink ? "swapped for a link" : "swapped for another folder");
        TempDir dir;
        const std::string top = dir / "top";
        MakeDir(top);
        MakeDir(top + "/sub");
        WriteFile(top + "/sub/file", "listed");
        MakeDir(dir / "outside");
        WriteFile(dir / "outside/file", "outside");
        ShredRun run(false);
        ASSERT_TRUE(run.List(top));

        ASSERT_EQ(0, ::rename((top + "/sub").c_str(), (dir / "moved").c_str()));
        if (forLink) {
            ASSERT_EQ(0, ::symlink((dir / "outside").c_str(), (top + "/sub").c_str()));
        } else {
            ASSERT_EQ(0, ::rename((dir / "outside").c_str(), (top + "/sub").c_str()));
        }
        EXPECT_TRUE(run.Execute());

        const ShredResult& result = run.Results().front();
        ASSERT_EQ(1u, result.failures.size());
        EXPECT_EQ(ShredError::FolderReplaced, result.failures[0].kind);
        EXPECT_EQ(top + "/sub/file", result.failures[0].path);
        EXPECT_EQ("outside", ReadFile(top + "/sub/file")) << "what stands there now is untouched";
        EXPECT_EQ("listed", ReadFile(dir / "moved/file"));
    }
}
