// The fast page scanner against the plain reference scanner: on generated pages full of the
// awkward cases, on the test data pages and on the HTML documentation of the machine, every
// token, the title, the keywords, the words and the links must be the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fetch/htmlscan.h"
#include "fetch/resolvelink.h"
#include "tests/fetch/referencehtmlscan.h"

namespace {

const char* const kPageUrls[] = {"http://h/d/p.html",
                                 "https://Host.example:8080/a/b/?q=1#top",
                                 "http://h",
                                 "HTTP://h/x/",
                                 "file:///home/me/docs/page.html",
                                 "C:\\dir\\page.html",
                                 "ftp://ftp.example/pub/",
                                 "page.html",
                                 "mailto:me@here",
                                 "http://u@h:81/a/./b/../c.html?x#y",
                                 ""};

const char* const kTargets[] = {"http://other/x/../y.html",
                                "hTTpS:x",
                                "httpx:y",
                                "http",
                                "https",
                                "http#:x",
                                "a/b#c?d",
                                "x?y#z?w#v",
                                "HTTPS://o/",
                                "x.html",
                                "../up/z.html",
                                "./here.html",
                                "/top",
                                "//cdn.example/lib.js",
                                "?only=query",
                                "#frag",
                                "",
                                ".",
                                "..",
                                "a/./b/../c",
                                "mailto:a@b",
                                "javascript:void(0)",
                                "file:///etc/hosts",
                                "sub\\dir\\f.html",
                                "../../../../x",
                                "/a/..",
                                "1http://x",
                                "x-app+v1.2:data",
                                "g;x?y#s",
                                "http:g",
                                "http:"};

// Builds a page out of the pieces the scanner treats specially, in random order and number.
class CPageMaker {
public:
    explicit CPageMaker(unsigned seed) : m_random(seed) {}

    std::string Page() {
        std::string page;
        const int pieces = Pick(1, 120);
        for (int n = 0; n < pieces; ++n)
            AddPiece(page);
        return page;
    }

    std::string PageUrl() { return kPageUrls[Pick(0, std::size(kPageUrls) - 1)]; }

    std::string Target() {
        std::string target = kTargets[Pick(0, std::size(kTargets) - 1)];
        if (Pick(0, 3) == 0)
            target += Word();
        return target;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::string Word() {
        static const char kLetters[] = "abcXYZ09_-.,;:!'\"\t\r\n\x80\xe9\xff\x01\x7f ";
        std::string word;
        const int length = Pick(0, 12);
        for (int i = 0; i < length; ++i)
            word += kLetters[Pick(0, sizeof(kLetters) - 2)];
        return word;
    }

    std::string Letters(size_t length) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + Pick(0, 25));
        return text;
    }

    void AddPiece(std::string& page) {
        switch (Pick(0, 27)) {
        case 0:
            page += "<p>";
            break;
        case 1:
            page += "<P class=\"x\" id='y'>";
            break;
        case 2:
            page += Pick(0, 1) ? "<title>" : "<TITLE>";
            break;
        case 3:
            page += Pick(0, 1) ? "</title>" : "</TITLE>";
            break;
        case 4: {
            static const char* const kMeta[] = {
                "<meta name=\"keywords\" content=\"", "<META NAME=\"KEYWORDS\" CONTENT=\"",
                "<meta name=Keywords Content=\"", "<meta Content=\"", "<metaKeywords Content="};
            page += kMeta[Pick(0, std::size(kMeta) - 1)] + Word() + ", " + Word() + "\">";
            break;
        }
        case 5:
            page += (Pick(0, 1) ? "<a href=" : "<A HREF=") + Target() + ">";
            break;
        case 6:
            page += std::string(Pick(0, 1) ? "<a  href = \"" : "<A\r\nHREF=\"") + Target() + "\">";
            break;
        case 7:
            page += Pick(0, 1) ? "</a>" : "</A>";
            break;
        case 8:
            page += Pick(0, 1) ? "<script>var a = b<c && '<a href=x>';</script>"
                               : "<STYLE>p { x: y; }</sTyLe >";
            break;
        case 9:
            page += Pick(0, 1) ? "&amp;" : "&#169;";
            break;
        case 10:
            page += Pick(0, 1) ? "& " : "&x";
            break;
        case 11:
            page += ";";
            break;
        case 12:
            page += "\r\n";
            break;
        case 13:
            page += "\n";
            break;
        case 14:
            page += ">";
            break;
        case 15:
            page += "<";
            break;
        case 16:
            page += std::string(static_cast<size_t>(Pick(8000, 9000)), ' ') + Word();
            break;
        case 17:
            page += Letters(static_cast<size_t>(Pick(8100, 8300)));
            break;
        case 18:
            page += Letters(static_cast<size_t>(Pick(10, 40))) + "\n" + Letters(5);
            break;
        case 19:
            page += "<" + std::string(static_cast<size_t>(Pick(8180, 8200)), 't') + ">";
            break;
        case 20:
            page += std::string(1, static_cast<char>(Pick(1, 255)));
            break;
        case 21:
            if (Pick(0, 9) == 0)
                page += '\0';
            break;
        case 22:
            page += Pick(0, 1) ? "<script" : "<a href=";
            break;
        case 23:
            page += "<a href=\"" + std::string(static_cast<size_t>(Pick(8180, 8200)), 'u') + "\">";
            break;
        case 24: {
            // A run that fills up in the middle of a word.
            const size_t before = static_cast<size_t>(Pick(8150, 8191));
            page += std::string(before, '.') + Letters(static_cast<size_t>(Pick(1, 80)));
            break;
        }
        default:
            page += Word() + " ";
            break;
        }
    }

    std::mt19937 m_random;
};

// Scans the page with both scanners and reports the first difference in what a reader sees.
void ExpectSameScan(const std::string& page, const std::string& pageUrl) {
    CHtmlScan fast = CHtmlScan::Scan(page);
    CReferenceHtmlScan plain = CReferenceHtmlScan::Scan(page);

    ASSERT_EQ(fast.Tokens().size(), plain.Tokens().size());
    for (size_t i = 0; i < fast.Tokens().size(); ++i) {
        const CHtmlToken& token = fast.Tokens()[i];
        ASSERT_EQ(token.Kind(), plain.Tokens()[i].kind) << "token " << i;
        const std::string_view value =
            token.Kind() == CHtmlToken::TK_LINK ? token.Target() : token.Text();
        ASSERT_EQ(value, plain.Tokens()[i].value) << "token " << i;
    }
    ASSERT_EQ(fast.Words().size(), plain.Words().size());
    for (size_t i = 0; i < fast.Words().size(); ++i)
        ASSERT_EQ(fast.Words()[i], plain.Words()[i]) << "word " << i;

    const std::string* fastTitle = fast.GetTitle();
    const std::string* plainTitle = plain.GetTitle();
    ASSERT_EQ(fastTitle == nullptr, plainTitle == nullptr);
    if (fastTitle) {
        EXPECT_EQ(*fastTitle, *plainTitle);
    }

    fast.ExtractKeywords();
    plain.ExtractKeywords();
    EXPECT_EQ(fast.Keywords(), plain.Keywords());

    const CLinkList fastLinks = fast.GetLinks(pageUrl);
    const CLinkList plainLinks = plain.GetLinks(pageUrl);
    ASSERT_EQ(fastLinks.GetCount(), plainLinks.GetCount());
    for (int i = 0; i < fastLinks.GetCount(); ++i) {
        EXPECT_EQ(fastLinks[i].m_url, plainLinks[i].m_url) << "link " << i;
        EXPECT_EQ(fastLinks[i].m_text, plainLinks[i].m_text) << "link " << i;
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(HtmlScanEquivalence, GeneratedPagesScanAsThePlainScannerDoes) {
    CPageMaker maker(20261208);
    for (int n = 0; n < 1500; ++n) {
        const std::string page = maker.Page();
        SCOPED_TRACE("page " + std::to_string(n));
        ExpectSameScan(page, maker.PageUrl());
        if (HasFatalFailure())
            return;
    }
}

TEST(HtmlScanEquivalence, EveryShortPrefixOfAPageScansAsThePlainScannerDoes) {
    // Page ends fall in every position of a tag, an entity, a word and a line end.
    const std::string page = "<title>T&amp;x</title><meta name=keywords content=\"a b\">"
                             "<a href=../x.html>link\r\ntext</a> word&nbsp;s > ab\ncd &x;\r\n";
    for (size_t length = 0; length <= page.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        ExpectSameScan(page.substr(0, length), "http://h/d/p.html");
    }
}

TEST(HtmlScanEquivalence, EveryByteValueSplitsWordsAsThePlainScannerDoes) {
    // Each byte between word letters, at every position of a 16-byte block, in and out of tags.
    for (size_t offset = 0; offset < 16; ++offset) {
        std::string page = "<p>" + std::string(offset, 'x');
        for (int b = 1; b < 256; ++b) {
            page += "ab";
            page += static_cast<char>(b);
            page += "cd ";
        }
        page += "<a href=x" + page.substr(3) + ">" + page + "</a>";
        SCOPED_TRACE("offset " + std::to_string(offset));
        ExpectSameScan(page, "http://h/d/p.html");
    }
}

TEST(HtmlScanEquivalence, TestDataPagesScanAsThePlainScannerDoes) {
    const std::filesystem::path data = std::filesystem::path(WAYFOLD_SOURCE_DIR) / "tests/data";
    int pages = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".html")
            continue;
        SCOPED_TRACE(entry.path().string());
        ExpectSameScan(ReadFile(entry.path()), "http://h/d/p.html");
        ++pages;
    }
    EXPECT_GT(pages, 0);
}

TEST(HtmlScanEquivalence, InstalledDocumentationScansAsThePlainScannerDoes) {
    // Real pages where the machine has them (every line ending in CR LF, as fetched pages do).
    std::error_code error;
    std::vector<std::filesystem::path> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(
             "/usr/share/doc", std::filesystem::directory_options::skip_permission_denied, error);
         !error && it != std::filesystem::recursive_directory_iterator() && paths.size() < 300;
         it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".html")
            paths.push_back(it->path());
    }
    if (paths.empty())
        GTEST_SKIP() << "no HTML documentation on this machine";
    for (const std::filesystem::path& path : paths) {
        std::string page;
        for (char c : ReadFile(path)) {
            if (c == '\n')
                page += '\r';
            page += c;
        }
        SCOPED_TRACE(path.string());
        ExpectSameScan(page, "http://www.example.org/doc/page.html");
        if (HasFatalFailure())
            return;
    }
}

TEST(HtmlScanEquivalence, ResolvesLinksAsThePlainResolverDoes) {
    CPageMaker maker(7);
    for (const char* pageUrl : kPageUrls) {
        for (const char* target : kTargets) {
            EXPECT_EQ(ResolveLink(pageUrl, target),
                      CReferenceHtmlScan::ResolveLink(pageUrl, target))
                << pageUrl << " + " << target;
        }
    }
    for (int n = 0; n < 5000; ++n) {
        const std::string pageUrl = maker.PageUrl();
        const std::string target = maker.Target();
        EXPECT_EQ(ResolveLink(pageUrl, target), CReferenceHtmlScan::ResolveLink(pageUrl, target))
            << pageUrl << " + " << target;
    }
}

// A path of random segments, many of them dot segments or near them.
std::string RandomPath(std::mt19937& random) {
    static const char* const kSegments[] = {".", "..", "a", "", "b.c", "..x", ".y", "...", "d"};
    std::string path = random() % 2 ? "/" : "";
    const int segments = static_cast<int>(random() % 6);
    for (int i = 0; i < segments; ++i) {
        if (i > 0)
            path += '/';
        path += kSegments[random() % std::size(kSegments)];
    }
    if (random() % 4 == 0)
        path += '/';
    return path;
}

TEST(HtmlScanEquivalence, RemovesDotSegmentsAsThePlainResolverDoes) {
    std::mt19937 random(11);
    for (int n = 0; n < 20000; ++n) {
        const std::string pageUrl =
            (random() % 2 ? "http://h" : "https://u@h:8") + RandomPath(random) + "?q#f";
        std::string target = RandomPath(random);
        if (random() % 5 == 0)
            target = "//other" + target;
        if (random() % 5 == 0)
            target += "?x";
        EXPECT_EQ(ResolveLink(pageUrl, target), CReferenceHtmlScan::ResolveLink(pageUrl, target))
            << pageUrl << " + " << target;
    }
}

} // namespace
