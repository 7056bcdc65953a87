#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetch/htmlscan.h"

namespace {

using Strings = std::vector<std::string>;

Strings WordsOf(const CHtmlScan& scan) {
    return Strings(scan.Words().begin(), scan.Words().end());
}

// The tokens as one line: "T:" tag, "L:" link target, "X:" text, "E" end of link.
std::string Describe(const CHtmlScan& scan) {
    std::string out;
    for (const CHtmlToken& token : scan.Tokens()) {
        if (!out.empty())
            out += '|';
        switch (token.Kind()) {
        case CHtmlToken::TK_TAG:
            out += "T:";
            out += token.Text();
            break;
        case CHtmlToken::TK_LINK:
            out += "L:";
            out += token.Target();
            break;
        case CHtmlToken::TK_TEXT:
            out += "X:";
            out += token.Text();
            break;
        case CHtmlToken::TK_ENDLINK:
            out += "E";
            break;
        default:
            out += "?";
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> LinksOf(std::string_view page,
                                                         std::string_view url = "http://h/d/p") {
    const CLinkList links = CHtmlScan::Scan(page).GetLinks(url);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const CLinkPair& pair : links)
        pairs.emplace_back(pair.m_url, pair.m_text);
    return pairs;
}

std::string TitleOf(std::string_view page) {
    CHtmlScan scan = CHtmlScan::Scan(page);
    const std::string* title = scan.GetTitle();
    return title == nullptr ? "<none>" : "[" + *title + "]";
}

Strings KeywordsOf(std::string_view page) {
    CHtmlScan scan = CHtmlScan::Scan(page);
    scan.ExtractKeywords();
    return scan.Keywords();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(HtmlScan, EmptyPageYieldsNothing) {
    CHtmlScan scan = CHtmlScan::Scan("");
    EXPECT_TRUE(scan.Tokens().empty());
    EXPECT_TRUE(scan.Words().empty());
    scan.ExtractKeywords();
    EXPECT_TRUE(scan.Keywords().empty());
    EXPECT_EQ(scan.GetTitle(), nullptr);
    EXPECT_EQ(scan.GetLinks("http://h/").GetCount(), 0);
    // A view without any bytes behind it (null data) scans as well.
    EXPECT_TRUE(CHtmlScan::Scan(std::string_view()).Tokens().empty());
}

TEST(HtmlScan, TokenizesTagsTextAndLinks) {
    const CHtmlScan scan =
        CHtmlScan::Scan("<html><p>Hello world</p>\r\n<a href=x.html>go</a></html>");
    EXPECT_EQ(Describe(scan), "T:html|T:p|X:Hello world|T:/p|X:\r |L:x.html|X:go|E|T:/html");
    EXPECT_EQ(WordsOf(scan), (Strings{"Hello", "world"}));
}

TEST(HtmlScan, DropsPendingTextAfterLastTag) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>first words</p></html>trailer");
    EXPECT_EQ(Describe(scan), "T:p|X:first words|T:/p|T:/html");
    EXPECT_EQ(WordsOf(scan), (Strings{"first", "words"}));
    // Words already ended by a separator are kept; only the pending run and word are dropped.
    const CHtmlScan ended = CHtmlScan::Scan("<p>x</p>trailing text\r\n");
    EXPECT_EQ(Describe(ended), "T:p|X:x|T:/p");
    EXPECT_EQ(WordsOf(ended), (Strings{"trailing", "text"}));
}

TEST(HtmlScan, TagTextLosesDoubleQuotesOnly) {
    const CHtmlScan scan = CHtmlScan::Scan("<img src=\"a b.png\" alt='x'\r\n>");
    EXPECT_EQ(Describe(scan), "T:img src=a b.png alt='x'\r\n");
}

TEST(HtmlScan, StrayAngleBracketsAreDropped) {
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a<b>")), "T:ab");
    const CHtmlScan scan = CHtmlScan::Scan("<p>ab>cd<br>");
    EXPECT_EQ(Describe(scan), "T:p|X:abcd|T:br");
    EXPECT_EQ(WordsOf(scan), (Strings{"abcd"}));
    EXPECT_EQ(Describe(CHtmlScan::Scan("<>")), "T:");
}

TEST(HtmlScan, SplitsWordsByCharacterClass) {
    EXPECT_EQ(WordsOf(CHtmlScan::Scan("<p>ab 12abc x-yz,wxyz!<p>")), (Strings{"abc", "wxyz"}));
    EXPECT_EQ(WordsOf(CHtmlScan::Scan("<p>abc abc\tABC<p>")), (Strings{"abc", "abc", "ABC"}));
    EXPECT_EQ(WordsOf(CHtmlScan::Scan("<p>ab\ncd<p>")), (Strings{"abcd"}));
    EXPECT_EQ(WordsOf(CHtmlScan::Scan("<p>abc\r\ndef<p>")), (Strings{"abc", "def"}));
}

TEST(HtmlScan, LineFeedIsABlankThatIsNotContent) {
    EXPECT_EQ(Describe(CHtmlScan::Scan("<p>\n\n<b>")), "T:p|T:b");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<p>a\nb<b>")), "T:p|X:a b|T:b");
}

TEST(HtmlScan, HighBytesAreWordLetters) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>caf\xc3\xa9 na\xefve \xff\xfe<p>");
    EXPECT_EQ(WordsOf(scan), (Strings{"caf\xc3\xa9", "na\xefve"}));
}

TEST(HtmlScan, EntityLeavesBlankAndSemicolon) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>Tom&amp;Jerry<p>");
    EXPECT_EQ(Describe(scan), "T:p|X:Tom ;Jerry|T:p");
    EXPECT_EQ(WordsOf(scan), (Strings{"Tom", "Jerry"}));
    const CHtmlScan blank = CHtmlScan::Scan("<p>Tom & Jerry<p>");
    EXPECT_EQ(Describe(blank), "T:p|X:Tom & Jerry|T:p");
    EXPECT_EQ(WordsOf(blank), (Strings{"Tom", "Jerry"}));
}

TEST(HtmlScan, EntitySkipsTagsUpToSemicolon) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>one&x<b>two</b>;three<i>");
    EXPECT_EQ(Describe(scan), "T:p|X:one ;three|T:i");
    EXPECT_EQ(WordsOf(scan), (Strings{"one", "three"}));
}

TEST(HtmlScan, UnterminatedEntitySwallowsRestOfPage) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>alpha beta &nbsp gamma<b>delta</b>");
    EXPECT_EQ(Describe(scan), "T:p");
    EXPECT_EQ(WordsOf(scan), (Strings{"alpha", "beta"}));
}

TEST(HtmlScan, FindsTitleOnlyInExactCase) {
    EXPECT_EQ(TitleOf("<title>Lower</title>"), "[Lower]");
    EXPECT_EQ(TitleOf("<TITLE>Upper</TITLE>"), "[Upper]");
    EXPECT_EQ(TitleOf("<Title>Mixed</Title>"), "<none>");
    EXPECT_EQ(TitleOf("<title>A</TITLE>"), "[A]");
}

TEST(HtmlScan, JoinsTitleRunsWithoutSeparator) {
    EXPECT_EQ(TitleOf("<head><title>Big <b>bold</b> end</title>"), "[Big bold end]");
}

TEST(HtmlScan, TellsEmptyTitleFromNone) {
    EXPECT_EQ(TitleOf("<p>text</p></title>"), "[]");
    EXPECT_EQ(TitleOf("<title>never closed<p>"), "<none>");
}

TEST(HtmlScan, TitleIsComputedOnceAndKept) {
    CHtmlScan scan = CHtmlScan::Scan("<title>Kept</title>");
    const std::string* first = scan.GetTitle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scan.GetTitle(), first);
    EXPECT_EQ(*first, "Kept");
}

TEST(HtmlScan, SkipsTitleRunThatWouldPassLimit) {
    const std::string big(8000, 'b');
    // Built by appending: GCC 12 reports a false overlap for a literal plus a temporary string.
    std::string page = "<title>";
    page += std::string(100, 'a') + "<i>" + big + "<i>" + std::string(91, 'c') + "<i>d</title>";
    std::string title = "[";
    title += std::string(100, 'a') + big + std::string(91, 'c') + "]";
    EXPECT_EQ(TitleOf(page), title);
}

TEST(HtmlScan, ReadsKeywordsAfterCapitalisedContent) {
    EXPECT_EQ(KeywordsOf("<meta name=keywords content=\"alpha, beta\">"), Strings{});
    EXPECT_EQ(KeywordsOf("<meta name=\"keywords\" Content=\"alpha, beta-2 gamma\">"),
              (Strings{"ALPHA", "BETA", "GAMMA"}));
    EXPECT_EQ(KeywordsOf("<META NAME=KEYWORDS CONTENT=x,yz>"), (Strings{"X", "YZ"}));
    EXPECT_EQ(KeywordsOf("<Meta name=keywords Content=alpha>"), Strings{});
    EXPECT_EQ(KeywordsOf("<meta name=keywords Content=caf\xe9s, \xc3\xa9t\xc3\xa9>"),
              (Strings{"CAF", "S", "T"}));
}

TEST(HtmlScan, StoresShortLastKeywordExactly) {
    EXPECT_EQ(KeywordsOf("<meta name=Keywords Content=alpha, be>"), (Strings{"ALPHA", "BE"}));
}

TEST(HtmlScan, ReadsRestOfKeywordsTagAsKeywords) {
    EXPECT_EQ(KeywordsOf("<meta name=keywords Content=\"one two\" lang=en>"),
              (Strings{"ONE", "TWO", "LANG", "EN"}));
}

TEST(HtmlScan, UsesFirstQualifyingKeywordsTagOnly) {
    const char* page = "<meta name=description Content=about><meta name=keywords lang=en>"
                       "<meta name=keywords Content=first><meta name=keywords Content=second>";
    EXPECT_EQ(KeywordsOf(page), (Strings{"FIRST"}));
}

TEST(HtmlScan, MatchesLinkTagAsFormattedScan) {
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a href=\"x.html\">")), "L:x.html");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<A HREF=X.HTML>")), "L:X.HTML");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<ahref=y>")), "L:y");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a \r\n\thref=  z title=t>")), "L:z");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a href='q.html'>")), "L:'q.html'");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a href=\"\">")), "T:a href=");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<A href=x>")), "T:A href=x");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a HREF=x>")), "T:a HREF=x");
    EXPECT_EQ(Describe(CHtmlScan::Scan("< a href=x>")), "T: a href=x");
    EXPECT_EQ(Describe(CHtmlScan::Scan("<a class=c href=x>")), "T:a class=c href=x");
    EXPECT_EQ(Describe(CHtmlScan::Scan("</a></A></a >")), "E|E|T:/a ");
}

TEST(HtmlScan, CollectsLinksWithTheirTexts) {
    EXPECT_EQ(LinksOf("<a href=\"one.html\">First <b>one</b></a> and <a href=/two>2</a>"),
              (Pairs{{"http://h/d/one.html", "First one"}, {"http://h/two", "2"}}));
}

TEST(HtmlScan, GivesEmptyLinkTextOneBlank) {
    EXPECT_EQ(LinksOf("<a href=i.html><img src=i.png></a>"), (Pairs{{"http://h/d/i.html", " "}}));
}

TEST(HtmlScan, WrongCaseLinkTagAddsNothing) {
    const CHtmlScan scan = CHtmlScan::Scan("<A href=x.html>text</A>");
    EXPECT_EQ(Describe(scan), "T:A href=x.html|X:text|E");
    EXPECT_EQ(scan.GetLinks("http://h/").GetCount(), 0);
}

TEST(HtmlScan, LinkOpenedTwiceKeepsTextAndLastTarget) {
    EXPECT_EQ(LinksOf("<a href=a>one<a href=b>two</a>"), (Pairs{{"http://h/d/b", "onetwo"}}));
}

TEST(HtmlScan, UnclosedLinkIsNotAdded) {
    EXPECT_EQ(LinksOf("<a href=a>one<p>"), Pairs{});
}

TEST(HtmlScan, RepeatedTargetGivesRepeatedPairs) {
    EXPECT_EQ(LinksOf("<a href=a>x</a><p>between<a href=a>y</a>", "file:///w/p.html"),
              (Pairs{{"file:///w/a", "x"}, {"file:///w/a", "y"}}));
}

TEST(HtmlScan, ResolvesLinksAgainstPortAndDirectory) {
    EXPECT_EQ(LinksOf("<a href=/x.html>x</a><a href=y.html>y</a><a href=mailto:m@h>m</a>",
                      "http://host:8080/dir/page.html"),
              (Pairs{{"http://host:8080/x.html", "x"},
                     {"http://host:8080/dir/y.html", "y"},
                     {"mailto:m@h", "m"}}));
}

TEST(HtmlScan, CutsLinkTextAtTextLimit) {
    const std::string page =
        "<a href=a>" + std::string(5000, 'x') + "<b>" + std::string(5000, 'y') + "</a>";
    const Pairs links = LinksOf(page);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].second, std::string(5000, 'x') + std::string(3191, 'y'));
}

TEST(HtmlScan, SkipsScriptAndStyleContent) {
    const CHtmlScan scan = CHtmlScan::Scan(
        "<p>before</p><script type=\"text/javascript\">var window = function() { if (a<b) "
        "{ x = '<a href=evil>'; } }; &amp;</script>\r\n<style>body { color: red; }</style>"
        "<p>after words</p>");
    EXPECT_EQ(Describe(scan), "T:p|X:before|T:/p|T:script type=text/javascript|T:/script|X:\r "
                              "|T:style|T:/style|T:p|X:after words|T:/p");
    EXPECT_EQ(WordsOf(scan), (Strings{"before", "after", "words"}));
}

TEST(HtmlScan, SkipsScriptRegardlessOfCase) {
    const CHtmlScan scan = CHtmlScan::Scan("<SCRIPT\nsrc=x>code here</ScRiPt><p>text</p>"
                                           "<Style>sheet rules</STYLE><p>more</p>");
    EXPECT_EQ(Describe(scan),
              "T:SCRIPT\nsrc=x|T:/ScRiPt|T:p|X:text|T:/p|T:Style|T:/STYLE|T:p|X:more|T:/p");
    EXPECT_EQ(WordsOf(scan), (Strings{"text", "more"}));
}

TEST(HtmlScan, ScriptSkipEndsOnlyAtItsOwnClosingTag) {
    const CHtmlScan scan =
        CHtmlScan::Scan("<script>one</style>two</scrip>three</script ><p>four</p>");
    EXPECT_EQ(Describe(scan), "T:script|T:/script |T:p|X:four|T:/p");
    EXPECT_EQ(WordsOf(scan), (Strings{"four"}));
}

TEST(HtmlScan, ScriptWithoutClosingTagSkipsRestOfPage) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>seen</p><script>var hidden;<p>never</p>\r\n");
    EXPECT_EQ(Describe(scan), "T:p|X:seen|T:/p|T:script");
    EXPECT_EQ(WordsOf(scan), (Strings{"seen"}));
}

TEST(HtmlScan, OnlyScriptAndStyleTagNamesStartSkipping) {
    const CHtmlScan scan = CHtmlScan::Scan("<scripts>kept<noscript>also kept</noscript><p>");
    EXPECT_EQ(WordsOf(scan), (Strings{"kept", "also", "kept"}));
}

TEST(HtmlScan, FindsLinkAfterScript) {
    EXPECT_EQ(LinksOf("<script>document.write('<a href=x>x</a>')</script><a href=y>why</a>"),
              (Pairs{{"http://h/d/y", "why"}}));
}

TEST(HtmlScan, LongRunIsCutButLaterTextSurvives) {
    const std::string longRun(10000, 'r');
    const CHtmlScan scan = CHtmlScan::Scan("<p>" + longRun + " tail<p>later text<p>");
    ASSERT_EQ(scan.Tokens().size(), 5u);
    EXPECT_EQ(scan.Tokens()[1].Text(), std::string(CHtmlScan::kMaxRun, 'r'));
    EXPECT_EQ(scan.Tokens()[3].Text(), "later text");
    EXPECT_EQ(WordsOf(scan),
              (Strings{std::string(CHtmlScan::kMaxText, 'r'), "tail", "later", "text"}));
}

TEST(HtmlScan, BytesPastFullRunStillFeedWords) {
    const std::string spaces(CHtmlScan::kMaxRun, ' ');
    const CHtmlScan scan = CHtmlScan::Scan("<p>" + spaces + "hidden words<p>");
    EXPECT_EQ(Describe(scan), "T:p|X:" + spaces + "|T:p");
    EXPECT_EQ(WordsOf(scan), (Strings{"hidden", "words"}));
}

TEST(HtmlScan, CutsTagTextAtTextLimit) {
    std::string page = "<";
    page += std::string(9000, 't') + "><p>ok<p>";
    const CHtmlScan scan = CHtmlScan::Scan(page);
    ASSERT_EQ(scan.Tokens().size(), 4u);
    EXPECT_EQ(scan.Tokens()[0].Text().size(), CHtmlScan::kMaxText);
    EXPECT_EQ(scan.Tokens()[2].Text(), "ok");
}

TEST(HtmlScan, SurvivesOnlyLessThanSigns) {
    EXPECT_TRUE(CHtmlScan::Scan("<").Tokens().empty());
    EXPECT_TRUE(CHtmlScan::Scan(std::string(100000, '<')).Tokens().empty());
    EXPECT_TRUE(CHtmlScan::Scan("&").Tokens().empty());
    EXPECT_EQ(Describe(CHtmlScan::Scan(">>><p>")), "T:p");
}

TEST(HtmlScan, UnterminatedTagLosesItsContent) {
    const CHtmlScan scan = CHtmlScan::Scan("<p>words here<a href=lost.html never closed");
    EXPECT_EQ(Describe(scan), "T:p|X:words here");
    EXPECT_EQ(WordsOf(scan), (Strings{"words", "here"}));
}

TEST(HtmlScan, StopsAtFirstNulByte) {
    const std::string page("<p>seen text</p>\0<p>hidden text</p>", 35);
    const CHtmlScan scan = CHtmlScan::Scan(page);
    EXPECT_EQ(Describe(scan), "T:p|X:seen text|T:/p");
    EXPECT_EQ(WordsOf(scan), (Strings{"seen", "text"}));
    EXPECT_TRUE(CHtmlScan::Scan(std::string("\0<p>x</p>", 9)).Tokens().empty());
    EXPECT_TRUE(CHtmlScan::Scan(std::string("<p>a&\0b;</p>", 12)).Words().empty());
}

TEST(HtmlScan, SurvivesEveryByteValue) {
    std::string page = "<p>";
    for (int round = 0; round < 4; ++round) {
        for (int b = 1; b < 256; ++b)
            page += static_cast<char>(b);
    }
    page += "<p>";
    CHtmlScan scan = CHtmlScan::Scan(page);
    scan.ExtractKeywords();
    EXPECT_EQ(scan.GetTitle(), nullptr);
    EXPECT_EQ(scan.GetLinks("http://h/").GetCount(), 0);
    // The first '<' after the opening tag opens a tag that swallows the rest of each round.
    ASSERT_FALSE(scan.Tokens().empty());
    EXPECT_EQ(scan.Tokens()[0].Text(), "p");
}

TEST(HtmlScan, TextsAndLinksStayValidAfterScanAndListAreMoved) {
    // Enough links and words to fill several storage chunks of both the scan and the list.
    std::string page;
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        page += "<a href=page" + n + ".html>link text number " + n + "</a> word" + n + "\r\n";
    }
    std::vector<CHtmlScan> scans;
    scans.push_back(CHtmlScan::Scan(std::string(page)));
    std::vector<CLinkList> lists;
    lists.push_back(scans.front().GetLinks("http://h/d/p"));
    for (int i = 0; i < 8; ++i) { // moves the first scan and list as the vectors grow
        scans.push_back(CHtmlScan::Scan("<p>x"));
        lists.push_back(CLinkList());
    }
    const CHtmlScan& scan = scans.front();
    ASSERT_EQ(scan.Words().size(), 3000u * 4);
    EXPECT_EQ(scan.Words()[4 * 2999 + 3], "word");
    EXPECT_EQ(scan.Tokens()[0].Target(), "page0.html");
    const CLinkList& links = lists.front();
    ASSERT_EQ(links.GetCount(), 3000);
    EXPECT_EQ(links[0].m_url, "http://h/d/page0.html");
    EXPECT_EQ(links[2999].m_url, "http://h/d/page2999.html");
    EXPECT_EQ(links[2999].m_text, "link text number 2999");
}

TEST(HtmlScan, LongLinkTargetIsCutToTagLimit) {
    const std::string target(20000, 'u');
    const Pairs links = LinksOf("<a href=" + target + ">long</a>", "http://host/dir/page.html");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].first.size(), 8191u);
    EXPECT_EQ(links[0].first.substr(0, 20), "http://host/dir/uuuu");
    EXPECT_EQ(links[0].second, "long");
}

TEST(HtmlScan, ScansFiftyMegabytePage) {
    const std::string block =
        "<p>Alpha beta &amp; gamma</p>\r\n<a href=page.html>link text</a>\r\n" +
        std::string(8000, 'z') + " " + std::string(2000, 'y') + "\r\n";
    std::string page;
    const size_t blocks = 50u * 1024 * 1024 / block.size() + 1;
    page.reserve(blocks * block.size() + 16);
    for (size_t i = 0; i < blocks; ++i)
        page += block;
    page += "<p>";
    CHtmlScan scan = CHtmlScan::Scan(page);
    // Per block: p, text, /p, line end, link, link text, end of link, long run; then the last p.
    EXPECT_EQ(scan.Tokens().size(), blocks * 8 + 1);
    EXPECT_EQ(scan.Words().size(), blocks * 7);
    EXPECT_EQ(scan.Words().back(), std::string(2000, 'y'));
    const CLinkList links = scan.GetLinks("https://site/dir/");
    ASSERT_EQ(links.GetCount(), static_cast<int>(blocks));
    EXPECT_EQ(links[0].m_url, "https://site/dir/page.html");
    EXPECT_EQ(links[0].m_text, "link text");
}

} // namespace
