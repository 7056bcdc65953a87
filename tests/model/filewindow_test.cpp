#include "model/filewindow.h"
#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {
std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 13 + i / 251);
    return bytes;
}

// Consumes the window in random steps, reading more whenever it runs dry or a step wants more
// than it holds, as a loader does with records cut by the block's end; returns what it saw.
std::string ReadInRandomSteps(CFileWindow& window, unsigned seed) {
    std::mt19937 random(seed);
    std::string seen;
    for (;;) {
        const std::size_t wanted = 1 + random() % 300; // often more than a 64-byte block
        while (window.Bytes().size() < wanted && window.ReadMore()) {
        }
        const std::size_t taken = std::min(wanted, window.Bytes().size());
        if (taken == 0)
            return seen;
        seen.append(window.Bytes().substr(0, taken));
        window.Consume(taken);
    }
}
} // namespace

TEST(FileWindow, ReadsEveryByteOnceThroughSmallBlocksThatGrowForLongRecords) {
    CTestFolder folder;
    const std::string bytes = PatternBytes(100003);
    WriteFileBytes(folder.File("file"), bytes);
    CFileWindow window(64);
    ASSERT_EQ(window.Open(folder.File("file")), ReadResult::Ok);
    EXPECT_EQ(window.Remaining(), bytes.size());
    EXPECT_EQ(ReadInRandomSteps(window, 3), bytes);
    EXPECT_EQ(window.Remaining(), 0u);
    EXPECT_FALSE(window.ReadMore());
    EXPECT_FALSE(window.Failed());
}

TEST(FileWindow, TellsMissingAndUnreadableAndReadsPipesWhole) {
    CTestFolder folder;
    CFileWindow missing;
    EXPECT_EQ(missing.Open(folder.File("none")), ReadResult::Missing);
    CFileWindow directory;
    EXPECT_EQ(directory.Open(folder.Path()), ReadResult::Failed);

    // A pipe has no size to bound counts by: it is read to its end at Open.
    const std::string bytes = PatternBytes(300001);
    const std::string pipe = folder.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] { WriteFileBytes(pipe, bytes); });
    CFileWindow window(4096);
    const ReadResult result = window.Open(pipe);
    writer.join();
    ASSERT_EQ(result, ReadResult::Ok);
    EXPECT_EQ(window.Bytes(), bytes);
    EXPECT_EQ(window.Remaining(), bytes.size());
}
