// wayfold-dump on cats.wfx, filters.wfx and stop.wfx: the exact documents for hand-made files,
// URLs resolved through --urls, and damaged files left as they are.

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "tests/model/storetestfiles.h"
#include "tests/tools/dumprun.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
std::string HandMadeCategories() {
    return Int32Bytes(3) + Int32Bytes(0) + Int32Bytes(1) + StringBytes("Science") + Int32Bytes(-1) +
           Int32Bytes(1) + Int32Bytes(2) + Int32Bytes(2) + StringBytes("http://a/") +
           StringBytes("http://gone/") + Int32Bytes(1) + StringBytes("physics") + Int32Bytes(2) +
           Int32Bytes(1) + StringBytes("Caf\xe9") + Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(0) +
           Int32Bytes(0);
}
} // namespace

TEST(WayfoldDumpFiles, CategoriesListEveryStoredUrlWithoutAUrlDatabase) {
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    WriteFileBytes(path, HandMadeCategories());
    const DumpRun run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"file\":\"" + path +
                           "\",\"slots\":[\n"
                           "null,\n"
                           "{\"index\":1,\"name\":\"Science\",\"parent\":-1,\"children\":[2],"
                           "\"sites\":[\"http://a/\",\"http://gone/\"],"
                           "\"words\":[{\"word\":\"PHYSICS\",\"weight\":2}]},\n"
                           "{\"index\":2,\"name\":\"Caf\\u00e9\",\"parent\":1,\"children\":[],"
                           "\"sites\":[],\"words\":[]}]}\n");
    EXPECT_EQ(FileBytes(path), HandMadeCategories());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"cats.wfx"});
}

TEST(WayfoldDumpFiles, CategoriesResolveUrlsThroughTheUrlDatabaseGiven) {
    CTestFolder folder;
    const std::string urls = folder.File("urls.wfx");
    {
        CSiteDatabase db;
        db.Open(urls);
        db.AddSite(std::make_unique<CSite>("http://a/", "A", "<NONE>", 1, 1700000000));
    }
    const std::string path = folder.File("cats.wfx");
    WriteFileBytes(path, HandMadeCategories());
    const std::string urlBytes = FileBytes(urls);
    DumpRun run = RunDump(folder, {"--urls", urls, path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"sites\":[\"http://a/\"],"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("gone"), std::string::npos);
    EXPECT_EQ(FileBytes(urls), urlBytes);
    EXPECT_EQ(FileBytes(path), HandMadeCategories());

    run = RunDump(folder, {"--urls", folder.File("missing.wfx"), path});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.wfx"), std::string::npos);
}

TEST(WayfoldDumpFiles, FiltersShowTypeTextAndStringsWithLineEndsRestored) {
    std::string data = Int32Bytes(3) + Int32Bytes(2) + Int32Bytes(2) + StringBytes("banner") +
                       StringBytes("ads") + Int32Bytes(1) + Int32Bytes(1) + StringBytes("a\nb") +
                       Int32Bytes(2) + Int32Bytes(0);
    CTestFolder folder;
    const std::string path = folder.File("filters.wfx");
    const std::string stored = CSiteFilterList::ExpandLineEnds(data);
    WriteFileBytes(path, stored);
    const DumpRun run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"file\":\"" + path +
                           "\",\"filters\":[\n"
                           "{\"type\":2,\"text\":\"URLS:ads/banner\",\"strings\":[\"ads\","
                           "\"banner\"]},\n"
                           "{\"type\":1,\"text\":\"WORDS:a\\nb\",\"strings\":[\"a\\nb\"]},\n"
                           "{\"type\":2,\"text\":\"URLS:\",\"strings\":[]}]}\n");
    EXPECT_EQ(FileBytes(path), stored);
}

TEST(WayfoldDumpFiles, StopWordsShowEachWordOnceWithItsCount) {
    CTestFolder folder;
    const std::string path = folder.File("stop.wfx");
    WriteFileBytes(path, "the\n\n  and\nThe\n");
    const DumpRun run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"file\":\"" + path +
                           "\",\"words\":[\n{\"word\":\"THE\",\"count\":2},\n"
                           "{\"word\":\"AND\",\"count\":1}]}\n");
    EXPECT_EQ(FileBytes(path), "the\n\n  and\nThe\n");
}

TEST(WayfoldDumpFiles, DamagedFilesFailWithAMessageNamingThemAndStayUntouched) {
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"cats.wfx", HandMadeCategories().substr(0, 30)},
        {"filters.wfx", Int32Bytes(4) + Int32Bytes(2)},
        {"stop.wfx", "ok\n" + std::string(9000, 'x')},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        CTestFolder folder;
        const std::string path = folder.File(file.name);
        WriteFileBytes(path, file.bytes);
        const DumpRun run = RunDump(folder, {path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
        EXPECT_EQ(FileBytes(path), file.bytes);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{file.name});
    }
}
