#include <gtest/gtest.h>

#include <string>

#include "fetch/resolvelink.h"
#include "fetch/urlsplitter.h"

namespace {

struct SResolveCase {
    const char* target;
    const char* expected;
};

// RFC 3986 section 5.4: every normal example and the abnormal ones, against its base.
const SResolveCase kRfcExamples[] = {
    {"g:h", "g:h"},
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q#s"},
    {"g#s", "http://a/b/c/g#s"},
    {"g?y#s", "http://a/b/c/g?y#s"},
    {";x", "http://a/b/c/;x"},
    {"g;x", "http://a/b/c/g;x"},
    {"g;x?y#s", "http://a/b/c/g;x?y#s"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../", "http://a/"},
    {"../../g", "http://a/g"},
    // abnormal examples
    {"../../../g", "http://a/g"},
    {"../../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"/../g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {".g", "http://a/b/c/.g"},
    {"g..", "http://a/b/c/g.."},
    {"..g", "http://a/b/c/..g"},
    {"./../g", "http://a/b/g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/./h", "http://a/b/c/g/h"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"g?y/./x", "http://a/b/c/g?y/./x"},
    {"g?y/../x", "http://a/b/c/g?y/../x"},
    {"g#s/./x", "http://a/b/c/g#s/./x"},
    {"g#s/../x", "http://a/b/c/g#s/../x"},
    {"http:g", "http:g"},
};

TEST(ResolveLink, FollowsRfc3986ReferenceExamples) {
    for (const SResolveCase& c : kRfcExamples)
        EXPECT_EQ(ResolveLink("http://a/b/c/d;p?q", c.target), c.expected) << "target " << c.target;
}

TEST(ResolveLink, KeepsPortAndDirectoryOfHttpPage) {
    const char* page = "http://host:8080/dir/page.html";
    EXPECT_EQ(ResolveLink(page, "/x.html"), "http://host:8080/x.html");
    EXPECT_EQ(ResolveLink(page, "y.html"), "http://host:8080/dir/y.html");
    EXPECT_EQ(ResolveLink(page, "../up/z.html"), "http://host:8080/up/z.html");
    EXPECT_EQ(ResolveLink("http://host", "x.html"), "http://host/x.html");
    EXPECT_EQ(ResolveLink("http://user@host:81/a/b.html?q=1#top", "c.html#s"),
              "http://user@host:81/a/c.html#s");
}

TEST(ResolveLink, TreatsHttpsLikeHttp) {
    EXPECT_EQ(ResolveLink("https://example.org/docs/intro.html", "next.html"),
              "https://example.org/docs/next.html");
    EXPECT_EQ(ResolveLink("HTTPS://example.org/docs/", "/top"), "HTTPS://example.org/top");
    EXPECT_EQ(ResolveLink("file:///home/me/page.html", "https://example.org/a?b#c"),
              "https://example.org/a?b#c");
}

TEST(ResolveLink, ReturnsAbsoluteHttpTargetUnchanged) {
    EXPECT_EQ(ResolveLink("http://a/b/", "http://other/x/../y.html"), "http://other/x/../y.html");
    EXPECT_EQ(ResolveLink("mailto:me@here", "HTTP://Other/"), "HTTP://Other/");
}

TEST(ResolveLink, LeavesTargetsOfOtherSchemesAsWritten) {
    EXPECT_EQ(ResolveLink("http://a/b/c", "mailto:someone@example.org"),
              "mailto:someone@example.org");
    EXPECT_EQ(ResolveLink("http://a/b/c", "javascript:void(0)"), "javascript:void(0)");
    EXPECT_EQ(ResolveLink("http://a/b/c", "file:///etc/hosts"), "file:///etc/hosts");
    EXPECT_EQ(ResolveLink("ftp://ftp.example.org/pub/", "readme.txt"), "readme.txt");
    EXPECT_EQ(ResolveLink("file:///home/me/page.html", "ftp://x/y"), "ftp://x/y");
}

TEST(ResolveLink, JoinsLocalTargetToLocalPageDirectory) {
    EXPECT_EQ(ResolveLink("file:///home/me/docs/page.html", "other.html"),
              "file:///home/me/docs/other.html");
    EXPECT_EQ(ResolveLink("file:///home/me/docs/page.html", "../up.html"),
              "file:///home/me/docs/../up.html");
    EXPECT_EQ(ResolveLink("docs\\sub\\page.html", "a.html"), "docs\\sub\\a.html");
    EXPECT_EQ(ResolveLink("/srv/www/index.html", "file:///tmp/x.html"),
              "/srv/www/file:///tmp/x.html");
    EXPECT_EQ(ResolveLink("page.html", "a.html"), "a.html");
}

TEST(ResolveLink, CutsResultsAtTextLimit) {
    const std::string longPath(20000, 'p');
    const std::string relative = ResolveLink("http://host/dir/page.html", longPath);
    ASSERT_EQ(relative.size(), kMaxResolvedLinkLength);
    EXPECT_EQ(relative.substr(0, 16), "http://host/dir/");
    EXPECT_EQ(ResolveLink("http://host/", "http://x/" + longPath).size(), kMaxResolvedLinkLength);
    EXPECT_EQ(ResolveLink("file:///a/" + longPath + "/page.html", "b.html").size(),
              kMaxResolvedLinkLength);
}

TEST(UrlSplitter, SplitsEveryPartAsWritten) {
    const CUrlSplitter url("https://user:pw@Host.example:8443/p/a%20b.html?x=1&y#frag");
    EXPECT_EQ(url.Class(), EUrlClass::Http);
    EXPECT_EQ(url.Scheme(), "https");
    EXPECT_TRUE(url.HasAuthority());
    EXPECT_EQ(url.Authority(), "user:pw@Host.example:8443");
    EXPECT_EQ(url.Host(), "Host.example");
    EXPECT_EQ(url.Port(), "8443");
    EXPECT_EQ(url.Path(), "/p/a%20b.html");
    EXPECT_TRUE(url.HasQuery());
    EXPECT_EQ(url.Query(), "x=1&y");
    EXPECT_TRUE(url.HasFragment());
    EXPECT_EQ(url.Fragment(), "frag");
}

TEST(UrlSplitter, ClassifiesSchemes) {
    EXPECT_EQ(CUrlSplitter("HTTP://x/").Class(), EUrlClass::Http);
    EXPECT_EQ(CUrlSplitter("File:///tmp/x").Class(), EUrlClass::File);
    EXPECT_EQ(CUrlSplitter("mailto:a@b").Class(), EUrlClass::Other);
    EXPECT_EQ(CUrlSplitter("x-app+v1.2:data").Class(), EUrlClass::Other);
    EXPECT_EQ(CUrlSplitter("dir/page.html").Class(), EUrlClass::Unrecognised);
    EXPECT_EQ(CUrlSplitter("a/b:c").Class(), EUrlClass::Unrecognised);
    EXPECT_EQ(CUrlSplitter("1http://x").Class(), EUrlClass::Unrecognised);
    EXPECT_EQ(CUrlSplitter("").Class(), EUrlClass::Unrecognised);
}

TEST(UrlSplitter, GivesObjectPathOfFileAndLocalUrls) {
    const CUrlSplitter file("file:///home/me/my%20page.html");
    EXPECT_TRUE(file.HasAuthority());
    EXPECT_EQ(file.Host(), "");
    EXPECT_EQ(file.Path(), "/home/me/my%20page.html");
    EXPECT_EQ(CUrlSplitter("file://localhost/tmp/a").Host(), "localhost");
    EXPECT_EQ(CUrlSplitter("file://localhost/tmp/a").Path(), "/tmp/a");
    EXPECT_EQ(CUrlSplitter("file:C|/dir/x.html").Path(), "C|/dir/x.html");
    const CUrlSplitter bare("/srv/x.html?v=2");
    EXPECT_FALSE(bare.HasAuthority());
    EXPECT_EQ(bare.Path(), "/srv/x.html");
    EXPECT_EQ(bare.Query(), "v=2");
}

TEST(UrlSplitter, KeepsIpv6HostAndEmptyPort) {
    const CUrlSplitter v6("http://[::1]:8080/x");
    EXPECT_EQ(v6.Host(), "[::1]");
    EXPECT_EQ(v6.Port(), "8080");
    EXPECT_EQ(CUrlSplitter("http://[fe80::1]/").Port(), "");
    EXPECT_EQ(CUrlSplitter("http://host:/").Host(), "host");
    EXPECT_FALSE(CUrlSplitter("http://host").HasQuery());
    EXPECT_EQ(CUrlSplitter("http://host").Path(), "");
}

} // namespace
