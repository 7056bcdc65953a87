#include "model/binaryio.h"
#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {
namespace fs = std::filesystem;

} // namespace

TEST(BinaryReader, ReadsLittleEndianIntegersAndStopsAtTheEnd) {
    const std::string data("\x01\x02\x03\x04\xfe\xff\xff\xff\x07", 9);
    CBinaryReader reader(data);
    std::int32_t value = 0;
    ASSERT_TRUE(reader.ReadInt32(value));
    EXPECT_EQ(value, 0x04030201);
    ASSERT_TRUE(reader.ReadInt32(value));
    EXPECT_EQ(value, -2);
    EXPECT_EQ(reader.Remaining(), 1u);
    EXPECT_FALSE(reader.ReadInt32(value));
    EXPECT_TRUE(reader.Failed());
}

TEST(BinaryReader, StringsAreCheckedAgainstLengthLimitAndEnd) {
    const std::string data = std::string("\x03\0\0\0abc", 7) + std::string("\x05\0\0\0ab", 6);
    CBinaryReader reader(data);
    std::string text;
    ASSERT_TRUE(reader.ReadString(text));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(reader.ReadString(text)); // 5 announced, 2 present
    // A failed reader stays failed.
    std::int32_t value = 0;
    EXPECT_FALSE(reader.ReadInt32(value));

    const std::string negativeLength("\xff\xff\xff\xff", 4);
    CBinaryReader negative(negativeLength);
    EXPECT_FALSE(negative.ReadString(text));

    const std::string atLimit = std::string("\xff\x1f\0\0", 4) + std::string(8191, 'x');
    CBinaryReader limit(atLimit);
    EXPECT_TRUE(limit.ReadString(text));
    EXPECT_EQ(text.size(), 8191u);
    const std::string overLimit = std::string("\x00\x20\0\0", 4) + std::string(8192, 'x');
    CBinaryReader over(overLimit);
    EXPECT_FALSE(over.ReadString(text));
}

TEST(BinaryReader, CountFitsRefusesCountsTheBytesCannotHold) {
    const std::string data(40, '\0');
    CBinaryReader reader(data);
    EXPECT_TRUE(reader.CountFits(10, 4));
    EXPECT_FALSE(reader.CountFits(11, 4));
    EXPECT_FALSE(reader.CountFits(-1, 4));
    EXPECT_TRUE(reader.CountFits(0, 16));
    EXPECT_FALSE(reader.CountFits(0x7fffffff, 1));
}

TEST(ReadWholeFile, TellsMissingFromUnreadableAndReadsLargeFiles) {
    CTestFolder folder;
    std::string bytes = "old";
    EXPECT_EQ(ReadWholeFile(folder.File("none"), bytes), ReadResult::Missing);
    EXPECT_TRUE(bytes.empty());
    fs::create_directory(folder.File("dir"));
    EXPECT_EQ(ReadWholeFile(folder.File("dir"), bytes), ReadResult::Failed);

    std::string large(300000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    WriteFileBytes(folder.File("large"), large);
    ASSERT_EQ(ReadWholeFile(folder.File("large"), bytes), ReadResult::Ok);
    EXPECT_EQ(bytes, large);
    WriteFileBytes(folder.File("empty"), "");
    ASSERT_EQ(ReadWholeFile(folder.File("empty"), bytes), ReadResult::Ok);
    EXPECT_TRUE(bytes.empty());
}

TEST(AtomicFile, CommitReplacesTheFileAndLeavesNoTemporaryFile) {
    CTestFolder folder;
    const std::string path = folder.File("data.wfx");
    WriteFileBytes(path, "old contents");
    ::chmod(path.c_str(), 0600);
    CAtomicFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_TRUE(file.WriteInt32(-2));
    EXPECT_TRUE(file.WriteString("ab"));
    EXPECT_EQ(FileBytes(path), "old contents"); // nothing visible before the commit
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(FileBytes(path), std::string("\xfe\xff\xff\xff\x02\0\0\0ab", 10));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"data.wfx"});
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u); // the user's permissions are kept
}

TEST(AtomicFile, AbortOrDestructionKeepsTheOldFile) {
    CTestFolder folder;
    const std::string path = folder.File("data.wfx");
    WriteFileBytes(path, "old");
    {
        CAtomicFile file;
        ASSERT_TRUE(file.Open(path));
        file.WriteBytes("new");
    }
    {
        CAtomicFile file;
        ASSERT_TRUE(file.Open(path));
        file.WriteBytes("new");
        file.Abort();
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(FileBytes(path), "old");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"data.wfx"});
}

TEST(AtomicFile, OpenFailsWhereNoFileCanBeMade) {
    CTestFolder folder;
    CAtomicFile file;
    EXPECT_FALSE(file.Open(folder.File("no-such-dir/data.wfx")));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.WriteInt32(1));
    EXPECT_FALSE(file.Commit());
}

TEST(AtomicFile, UnwritableDirectoryKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    CTestFolder folder;
    const std::string dir = folder.File("ro");
    fs::create_directory(dir);
    const std::string path = dir + "/data.wfx";
    WriteFileBytes(path, "old");
    ::chmod(dir.c_str(), 0500);
    CAtomicFile file;
    EXPECT_FALSE(file.Open(path));
    ::chmod(dir.c_str(), 0700);
    EXPECT_EQ(FileBytes(path), "old");
}

TEST(AtomicFile, AFailingWriteFailsTheCommitAndKeepsTheOldFile) {
    CTestFolder folder;
    const std::string path = folder.File("data.wfx");
    WriteFileBytes(path, "old");
    CAtomicFile file;
    ASSERT_TRUE(file.Open(path));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string block(1 << 20, 'x'); // goes to disk at once
    const bool written = file.WriteBytes(block);
    const bool later = file.WriteInt32(1);
    const bool committed = file.Commit();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(later);
    EXPECT_FALSE(committed);
    EXPECT_EQ(FileBytes(path), "old");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"data.wfx"});
}

TEST(SetAsideDamagedFile, RenamesToDamagedThenNumbers) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, "one");
    EXPECT_EQ(SetAsideDamagedFile(path), path + ".damaged");
    WriteFileBytes(path, "two");
    EXPECT_EQ(SetAsideDamagedFile(path), path + ".damaged.2");
    WriteFileBytes(path, "three");
    EXPECT_EQ(SetAsideDamagedFile(path), path + ".damaged.3");
    EXPECT_EQ(FileBytes(path + ".damaged"), "one");
    EXPECT_EQ(FileBytes(path + ".damaged.2"), "two");
    EXPECT_EQ(FileBytes(path + ".damaged.3"), "three");
    EXPECT_EQ(SetAsideDamagedFile(path), ""); // nothing left to rename
}
