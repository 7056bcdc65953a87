#include "fetch/fetchworker.h"
#include "fetch/localpage.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(LocalPagePath, DecodesBlanksThenDriveBarsThenDropsLeadingBackslashes) {
    struct Case {
        const char* url;
        const char* path;
    } cases[] = {
        {"file:///home/me/a%20b.html", "/home/me/a b.html"},
        {"file:///C|/My%20Pages/index.html", "/C:/My Pages/index.html"},
        {"file://localhost/tmp/x.html", "/tmp/x.html"},
        {"file:/tmp/x.html", "/tmp/x.html"},
        {"FILE:///tmp/x.html?q=1#top", "/tmp/x.html"},
        {"C|\\docs\\page%20one.htm", "C:\\docs\\page one.htm"},
        {"\\\\\\docs\\x.htm", "docs\\x.htm"},
        {"/home/me/plain.html", "/home/me/plain.html"},
        {"file:///a%2520b", "/a%2520b"},
        {"file:///a%%200", "/a% 0"},
        {"file:///a%20%20b", "/a  b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(LocalPagePath(c.url), c.path);
    }
}

TEST(LocalPage, FileUrlWithBlankAndDriveBarIsReadFromDisk) {
    CTempDir dir;
    std::filesystem::create_directory(dir.File("C:"));
    WriteFile(dir.File("C:/My Page.html"), "<html>\r\n<title>Local</title>\n</html>");
    const auto page = FetchPage("file://" + dir.Path() + "/C|/My%20Page.html", {});
    EXPECT_EQ(page, "<html>\r\n<title>Local</title>\r\n</html>\r\n");
}

TEST(LocalPage, UrlWithoutSchemeIsReadFromDisk) {
    CTempDir dir;
    WriteFile(dir.File("page one.html"), "one\ntwo\n");
    EXPECT_EQ(FetchPage(dir.Path() + "/page%20one.html", {}), "one\r\ntwo\r\n");
}

TEST(LocalPage, MissingEmptyOrSpecialFilesGiveNoPage) {
    CTempDir dir;
    WriteFile(dir.File("empty.html"), "");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(FetchPage("file://" + dir.File("missing.html"), {}), std::nullopt);
    EXPECT_EQ(FetchPage("file://" + dir.File("empty.html"), {}), std::nullopt);
    EXPECT_EQ(FetchPage("file://" + dir.Path(), {}), std::nullopt);
    // A pipe nobody writes to would block a reader for ever.
    EXPECT_EQ(FetchPage("file://" + dir.File("pipe"), {}), std::nullopt);
    EXPECT_EQ(FetchPage("file:", {}), std::nullopt);
}

TEST(LocalPage, LargeFileIsCutAtTheLimit) {
    CTempDir dir;
    WriteFile(dir.File("big.txt"), std::string(5000, 'x') + "\n");
    CFetchLimits limits;
    limits.maxPageBytes = 1000;
    const auto page = FetchPage("file://" + dir.File("big.txt"), {}, limits);
    ASSERT_TRUE(page);
    EXPECT_EQ(*page, std::string(998, 'x') + "\r\n");
}

} // namespace
