// Damaged and hostile data files given to the running program: it must come up, stay within
// bounded memory, answer, and write back what it read.

#include "tests/browserlink/ddetestsupport.h"
#include "tests/robustness/wayfoldprocess.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string TestData(const std::string& name) {
    return std::string(WAYFOLD_SOURCE_DIR) + "/tests/data/robustness/" + name;
}

// cats.wfx as the built wayfold-dump prints it.
std::string DumpCategories(const std::string& path) {
    QProcess dump;
    dump.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-dump"),
               {QString::fromStdString(path)});
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0)
        return {};
    return dump.readAllStandardOutput().toStdString();
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// Starts Wayfold on the category file, checks it comes up within bounded memory and closes
// with every category written back.
void ExpectStartsAndKeeps(const std::string& dataFile, size_t categories) {
    CPrivateDdeDir dde;
    CWayfoldProcess wayfold(dde.Path());
    fs::copy_file(TestData(dataFile), wayfold.Data() + "/cats.wfx");
    ASSERT_TRUE(wayfold.Start(60000)) << wayfold.Output();
    // The log book is built from the hierarchy once the window is up.
    WaitUntil([] { return false; }, 3000);
    EXPECT_LT(wayfold.ResidentKb(), 512 * 1024);
    ASSERT_TRUE(wayfold.Stop()) << wayfold.Output();
    const std::string dump = DumpCategories(wayfold.Data() + "/cats.wfx");
    EXPECT_EQ(CountOf(dump, "\"index\":"), categories) << dump;
}

// Forty categories in a chain, each listing the next two as children: following every listing
// would put Fibonacci(40) items into the log book.
TEST(DamagedDataFiles, CategoriesListedUnderManyParentsDoNotExhaustMemory) {
    ExpectStartsAndKeeps("shared-children-cats.wfx", 40);
}

// Three categories, each the parent of the next: none is at the top level.
TEST(DamagedDataFiles, CategoriesThatAreTheirOwnAncestorsDoNotHang) {
    ExpectStartsAndKeeps("parent-loop-cats.wfx", 3);
}

} // namespace
