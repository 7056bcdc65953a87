#include "model/binaryio.h"
#include "model/category.h"
#include "model/categoryfile.h"
#include "model/categorytree.h"
#include "model/wordlist.h"

#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> StopWordsRead(const std::string& path) {
    CWordList list;
    list.Open(path, CWordList::kUpperCase | CWordList::kPlainFormat);
    list.DetachFile();
    std::vector<std::string> words;
    for (const auto& entry : list.Entries())
        words.push_back(entry.word);
    return words;
}
} // namespace

TEST(StoredFiles, StopFileWithCrLfLineEndsReadsAsWithLfAndIsWrittenWithLf) {
    CTestFolder folder;
    const std::string lf = folder.File("lf.wfx");
    const std::string crlf = folder.File("crlf.wfx");
    WriteFileBytes(lf, "the\nand\n\n  of\nnew york \nlone\rcr\ntwice\nlast");
    WriteFileBytes(crlf, "the\r\nand\r\n\r\n  of\r\nnew york \r\nlone\rcr\r\ntwice\r\r\nlast\r");
    const std::vector<std::string> expected = {"THE",      "AND",   "OF",  "NEW YORK ",
                                               "LONE\rCR", "TWICE", "LAST"};
    EXPECT_EQ(StopWordsRead(lf), expected);
    EXPECT_EQ(StopWordsRead(crlf), expected);
    {
        CWordList list;
        list.Open(crlf, CWordList::kUpperCase | CWordList::kPlainFormat);
    }
    EXPECT_EQ(FileBytes(crlf), "AND\nLAST\nLONE\rCR\nNEW YORK \nOF\nTHE\nTWICE\n");
}

TEST(StoredFiles, CategoryTextsOfLengthZeroOrLessAreEmptyAndLongOnesAreCutWhenWritten) {
    const std::string noText = Int32Bytes(-7);
    const std::string bytes = Int32Bytes(2) + Int32Bytes(1) + noText + Int32Bytes(-1) +
                              Int32Bytes(0) + Int32Bytes(1) + Int32Bytes(-1) + Int32Bytes(1) +
                              Int32Bytes(0) + Int32Bytes(5) + Int32Bytes(1) + StringBytes("B") +
                              Int32Bytes(-1) + Int32Bytes(0) + Int32Bytes(0) + Int32Bytes(0);
    CCategoryFile::Slots slots;
    ASSERT_TRUE(CCategoryFile::Parse(bytes, slots));
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0]->name, "");
    EXPECT_EQ(slots[0]->urls, std::vector<std::string>{""});
    ASSERT_EQ(slots[0]->words.size(), 1u);
    EXPECT_EQ(slots[0]->words[0], (std::pair<std::string, std::int32_t>{"", 5}));
    EXPECT_EQ(slots[1]->name, "B");

    // A name, URL or word above the limit is cut, so the next start reads the file whole.
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    const std::string longText(kMaxText + 100, 'x');
    CErrorRecorder errors;
    {
        CCategoryTree tree;
        tree.Open(path, nullptr);
        CCategory* category = tree.Register(std::make_unique<CCategory>(longText));
        category->m_words.Add(longText, 3);
    }
    CCategoryTree reloaded;
    EXPECT_TRUE(reloaded.Open(path, nullptr));
    reloaded.DetachFile();
    EXPECT_TRUE(errors.Messages().empty());
    ASSERT_EQ(reloaded.SlotCount(), 1);
    EXPECT_EQ(reloaded.CategoryAt(0)->m_name, longText.substr(0, kMaxText));
    ASSERT_EQ(reloaded.CategoryAt(0)->m_words.Entries().size(), 1u);
    EXPECT_EQ(reloaded.CategoryAt(0)->m_words.Entries()[0].word.size(), std::size_t(kMaxText));
    CCategoryFile::Slots urls(1);
    urls[0].emplace().urls.push_back(longText);
    CCategoryFile::Slots urlsRead;
    ASSERT_TRUE(CCategoryFile::Parse(CCategoryFile::Serialize(urls), urlsRead));
    EXPECT_EQ(urlsRead[0]->urls[0], longText.substr(0, kMaxText));
}
