#include "model/wordlist.h"

#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {
using Words = std::vector<std::string>;

Words WordsOf(const CWordList& list) {
    Words words;
    for (const auto& entry : list.Entries())
        words.push_back(entry.word);
    return words;
}

Words ReadStopFile(const std::string& bytes, std::int32_t mode = 3) {
    CTestFolder folder;
    WriteFileBytes(folder.File("stop.wfx"), bytes);
    CWordList list;
    list.Open(folder.File("stop.wfx"), mode);
    list.DetachFile();
    return WordsOf(list);
}
} // namespace

TEST(WordListRead, BlankLinesAndLeadingSpacesOfLaterLinesAreDropped) {
    EXPECT_EQ(ReadStopFile("the\n\n  and\n"), (Words{"THE", "AND"}));
}

TEST(WordListRead, SpacesInsideAndAtTheEndOfAWordAreKept) {
    EXPECT_EQ(ReadStopFile("new york \nlast"), (Words{"NEW YORK ", "LAST"}));
}

TEST(WordListRead, FirstLineKeepsLeadingSpacesAndALeadingBlankLineEndsTheReading) {
    EXPECT_EQ(ReadStopFile("  the\nand\n"), (Words{"  THE", "AND"}));
    EXPECT_EQ(ReadStopFile("\nthe\nand\n"), Words{});
}

TEST(WordListRead, UpperCaseOnlyWithModeBitOne) {
    EXPECT_EQ(ReadStopFile("the\n", 3), Words{"THE"});
    EXPECT_EQ(ReadStopFile("the\n", 1), Words{"THE"});
    EXPECT_EQ(ReadStopFile("the\n", 2), Words{"the"});
    EXPECT_EQ(ReadStopFile("caf\xe9\n", 3), Words{"CAF\xe9"});
}

TEST(WordListRead, RepeatedWordIsOneEntryWithValueTwoAndIsWrittenOnce) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    WriteFileBytes(path, "the\nThe\n");
    {
        CWordList list;
        EXPECT_TRUE(list.Open(path, 3));
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Entries()[0].value, 2);
    }
    EXPECT_EQ(FileBytes(path), "THE\n");
}

TEST(WordListRead, MissingFileGivesAnEmptyListWithoutMessageAndAnEmptyFileAtExit) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    CErrorRecorder errors;
    {
        CWordList list;
        EXPECT_TRUE(list.Open(path, 3));
        EXPECT_EQ(list.Count(), 0);
    }
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(FileBytes(path), "");
}

TEST(WordListOperations, AddCountsSetReplacesAndPositionsFollowInsertion) {
    CWordList list;
    EXPECT_EQ(list.Add("B"), 0);
    EXPECT_EQ(list.Add("A"), 1);
    EXPECT_EQ(list.Add("B"), 0);
    EXPECT_EQ(list.Set("C", 7), 2);
    EXPECT_EQ(list.Set("B", 5), 0);
    EXPECT_EQ(list.Entries()[0].value, 5);
    EXPECT_EQ(list.Entries()[1].value, 1);
    EXPECT_EQ(list.Entries()[2].value, 7);
    EXPECT_TRUE(list.Contains("A"));
    EXPECT_FALSE(list.Contains("a"));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Contains("A"));
}

TEST(WordListOperations, SortIsByteWiseAndRebuildsTheIndex) {
    CWordList list;
    for (const char* word : {"b", "B", "\xe9t\xe9", "a", "AB"})
        list.Add(word);
    list.SortAlphabetically();
    EXPECT_EQ(WordsOf(list), (Words{"AB", "B", "a", "b", "\xe9t\xe9"}));
    EXPECT_EQ(list.Add("a"), 2);
    EXPECT_EQ(list.Entries()[2].value, 2);
    EXPECT_EQ(list.Add("new"), 5);
}

TEST(WordListWrite, WordsAreWrittenInByteOrderOfTheIndexNotInInsertionOrder) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    {
        CWordList list;
        list.Open(path, 3);
        list.Add("ZEBRA");
        list.Add("AND");
        list.Add("THE");
    }
    EXPECT_EQ(FileBytes(path), "AND\nTHE\nZEBRA\n");
}

TEST(WordListWrite, CanonicalFileWithOddBytesRoundTripsByteForByte) {
    Words lines = {"A B ", "Z\x01", "\xc3\xa9T\xc3\x89", "WO\rRD", "TAB\tIN", "\xff\xfe", "X"};
    std::sort(lines.begin(), lines.end());
    std::string bytes;
    for (const auto& line : lines)
        bytes += line + "\n";
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    WriteFileBytes(path, bytes);
    {
        CWordList list;
        EXPECT_TRUE(list.Open(path, 3));
        EXPECT_EQ(list.Count(), static_cast<int>(lines.size()));
    }
    EXPECT_EQ(FileBytes(path), bytes);
}

TEST(WordListWrite, WordsThatCouldNotBeReadBackAreLeftOutSoTheRestSurvives) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    {
        CWordList list;
        list.Open(path, 3);
        list.Add("");
        list.Add("A\nB");
        list.Add("C");
    }
    EXPECT_EQ(FileBytes(path), "C\n");
    EXPECT_EQ(ReadStopFile(FileBytes(path)), Words{"C"});
}

TEST(WordListDamage, OverlongLineKeepsEarlierWordsReportsAndIsSetAsideBeforeWriting) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    const std::string damaged = "ok\n" + std::string(8192, 'x') + "\nlater\n";
    WriteFileBytes(path, damaged);
    CErrorRecorder errors;
    {
        CWordList list;
        EXPECT_FALSE(list.Open(path, 3));
        EXPECT_EQ(WordsOf(list), Words{"OK"});
        ASSERT_EQ(errors.Messages().size(), 1u);
        EXPECT_NE(errors.Messages()[0].find(path), std::string::npos);
    }
    EXPECT_EQ(FileBytes(path + ".damaged"), damaged);
    EXPECT_EQ(FileBytes(path), "OK\n");
}

TEST(WordListDamage, LineOfExactly8191BytesIsAccepted) {
    const std::string word(8191, 'W');
    EXPECT_EQ(ReadStopFile(word + "\n"), Words{word});
}

TEST(WordListDamage, SecondDamagedFileIsSetAsideUnderANumberedName) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    WriteFileBytes(path + ".damaged", "older");
    WriteFileBytes(path, std::string(9000, 'x'));
    CErrorRecorder errors;
    {
        CWordList list;
        list.Open(path, 3);
    }
    EXPECT_EQ(FileBytes(path + ".damaged"), "older");
    EXPECT_EQ(FileBytes(path + ".damaged.2"), std::string(9000, 'x'));
}

TEST(WordListWrite, FailedWriteIsSilentAndKeepsTheOldFile) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    WriteFileBytes(path, "OLD\n");
    CErrorRecorder errors;
    CWordList list;
    list.Open(path, 3);
    for (int i = 0; i < 2000; ++i)
        list.Add("WORD" + std::to_string(i));
    // A file size limit makes every write past 1 KiB fail.
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved_ok = list.Save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    list.DetachFile();
    EXPECT_FALSE(saved_ok);
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(FileBytes(path), "OLD\n");
    EXPECT_EQ(folder.Names(), Words{"stop.wfx"});
}
