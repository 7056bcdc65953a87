#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "tests/model/storetestfiles.h"
#include "tests/tools/dumprun.h"
#include "tools/wayfold-dump/jsonwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

// A small JSON reader for checking the tool's output. \u00XX escapes give back the byte, as
// the tool writes bytes that are not UTF-8.
struct Json {
    enum Kind { Null, Number, String, Array, Object } kind = Null;
    long long number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const {
        for (const auto& [name, value] : members)
            if (name == key)
                return value;
        static const Json none;
        ADD_FAILURE() << "no member " << key;
        return none;
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto& member : members)
            keys.push_back(member.first);
        return keys;
    }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : m_text(text) {}
    bool Parse(Json& value) {
        if (!ParseValue(value))
            return false;
        SkipSpace();
        return m_pos == m_text.size();
    }

private:
    void SkipSpace() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool Eat(char c) {
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool ParseString(std::string& out) {
        if (!Eat('"'))
            return false;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            if (e == 'n')
                out += '\n';
            else if (e == 'r')
                out += '\r';
            else if (e == 't')
                out += '\t';
            else if (e == '"' || e == '\\' || e == '/')
                out += e;
            else if (e == 'u' && m_pos + 4 <= m_text.size()) {
                const unsigned code = std::stoul(m_text.substr(m_pos, 4), nullptr, 16);
                m_pos += 4;
                if (code > 0xff)
                    return false;
                out += static_cast<char>(code);
            } else
                return false;
        }
        return false;
    }
    bool ParseValue(Json& value) {
        SkipSpace();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '"') {
            value.kind = Json::String;
            return ParseString(value.text);
        }
        if (c == '[') {
            value.kind = Json::Array;
            ++m_pos;
            if (Eat(']'))
                return true;
            do {
                value.items.emplace_back();
                if (!ParseValue(value.items.back()))
                    return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '{') {
            value.kind = Json::Object;
            ++m_pos;
            if (Eat('}'))
                return true;
            do {
                std::string key;
                SkipSpace();
                if (!ParseString(key) || !Eat(':'))
                    return false;
                value.members.emplace_back(key, Json());
                if (!ParseValue(value.members.back().second))
                    return false;
            } while (Eat(','));
            return Eat('}');
        }
        std::size_t used = 0;
        try {
            value.number = std::stoll(m_text.substr(m_pos, 24), &used);
        } catch (...) {
            return false;
        }
        value.kind = Json::Number;
        m_pos += used;
        return true;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

Json ParseJson(const std::string& text) {
    Json value;
    EXPECT_TRUE(JsonParser(text).Parse(value)) << text;
    return value;
}

// A file laid out by hand: a one-letter word, positions off the map, a title that is not UTF-8.
std::string HandMadeFile() {
    const std::string title = "Caf\xe9 \"menu\"";
    return Int32Bytes(1) + Int32Bytes(2) + StringBytes("ALPHA") + Int32Bytes(10) + Int32Bytes(20) +
           Int32Bytes(3) + StringBytes("Q") + Int32Bytes(1) + Int32Bytes(1) + Int32Bytes(1) +
           Int32Bytes(1) + Int32Bytes(9) + Int32Bytes(int(title.size())) + Int32Bytes(6) +
           Int32Bytes(1) + Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(-7) + Int32Bytes(2500) +
           Int32Bytes(1700000000) + "http://a/" + title + "<NONE>" + Int32Bytes(2) +
           StringBytes("ALPHA") + StringBytes("Q") + Int32Bytes(9) + Int32Bytes(1) + Int32Bytes(4) +
           Int32Bytes(1) + Int32Bytes(-7) + Int32Bytes(3) + "http://b/" + " " + "note";
}
} // namespace

TEST(JsonWriter, QuotesUtf8AsItIsAndOtherBytesOneByOne) {
    EXPECT_EQ(CJsonWriter::Quote("plain"), "\"plain\"");
    EXPECT_EQ(CJsonWriter::Quote("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    EXPECT_EQ(CJsonWriter::Quote("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
    EXPECT_EQ(CJsonWriter::Quote("caf\xe9"), "\"caf\\u00e9\"");
    EXPECT_EQ(CJsonWriter::Quote("\x80"), "\"\\u0080\"");            // lone continuation byte
    EXPECT_EQ(CJsonWriter::Quote("\xc0\xaf"), "\"\\u00c0\\u00af\""); // overlong form
    EXPECT_EQ(CJsonWriter::Quote("\xed\xa0\x80"), "\"\\u00ed\\u00a0\\u0080\""); // surrogate
    EXPECT_EQ(CJsonWriter::Quote("\xf4\x90\x80\x80"),
              "\"\\u00f4\\u0090\\u0080\\u0080\"");                   // above U+10FFFF
    EXPECT_EQ(CJsonWriter::Quote("\xe2\x82"), "\"\\u00e2\\u0082\""); // cut short
    EXPECT_EQ(CJsonWriter::Quote(std::string("\0", 1)), "\"\\u0000\"");
}

TEST(WayfoldDump, HandMadeFilePrintsTheDocumentExactly) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, HandMadeFile());
    const DumpRun run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "{\"file\":\"" + path +
                  "\",\"version\":1,\n"
                  "\"words\":[\n"
                  "{\"text\":\"ALPHA\",\"x\":10,\"y\":20,\"count\":3}],\n"
                  "\"sites\":[\n"
                  "{\"url\":\"http://a/\",\"title\":\"Caf\\u00e9 \\\"menu\\\"\","
                  "\"annotation\":\"<NONE>\",\"visited\":1,\"hidden\":0,\"x\":5,\"y\":1995,"
                  "\"time\":1700000000,\"words\":[\"ALPHA\"],"
                  "\"links\":[{\"url\":\"http://b/\",\"title\":\" \",\"annotation\":\"note\","
                  "\"hidden\":1,\"x\":-7,\"y\":3}]}]}\n");
    EXPECT_EQ(FileBytes(path), HandMadeFile());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});
}

TEST(WayfoldDump, FileWrittenByTheProgramShowsEverythingItHolds) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    {
        CSiteDatabase db;
        db.Open(path);
        for (int i = 0; i < 3; ++i) {
            auto site =
                std::make_unique<CSite>("http://site/" + std::to_string(i),
                                        std::string("t\x01\xff\xc3\xa9\n") + char('a' + i),
                                        i == 1 ? "my \"note\"" : "<NONE>", 1, 1600000000 + i);
            CSite* raw = db.AddSite(std::move(site));
            raw->m_hidden = i == 2;
            for (const char* text : {"SHARED", i == 0 ? "FIRST" : "OTHER"}) {
                CWordEntry* entry = db.FindOrMakeWord(text);
                raw->AddWord(entry);
                entry->AddSite(raw);
            }
            for (int j = 0; j < i; ++j)
                raw->AddLink(std::make_unique<CSite>("http://link/" + std::to_string(j), "l",
                                                     "<NONE>", 0))
                    ->m_x = -100 * j;
        }
    }
    const std::string saved = FileBytes(path);
    const DumpRun run = RunDump(folder, {path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FileBytes(path), saved);

    CSiteDatabase db;
    ASSERT_TRUE(db.OpenReadOnly(path));
    const Json doc = ParseJson(run.out);
    EXPECT_EQ(doc.Keys(), (std::vector<std::string>{"file", "version", "words", "sites"}));
    EXPECT_EQ(doc["file"].text, path);
    EXPECT_EQ(doc["version"].number, 1);

    const Json& words = doc["words"];
    ASSERT_EQ(words.items.size(), db.Words().size());
    std::size_t w = 0;
    for (const auto& [key, entry] : db.Words()) {
        const Json& word = words.items[w++];
        EXPECT_EQ(word.Keys(), (std::vector<std::string>{"text", "x", "y", "count"}));
        EXPECT_EQ(word["text"].text, entry->m_text);
        EXPECT_EQ(word["x"].number, entry->m_x);
        EXPECT_EQ(word["y"].number, entry->m_y);
        EXPECT_EQ(word["count"].number, entry->m_count);
    }

    const Json& sites = doc["sites"];
    ASSERT_EQ(sites.items.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const CSite& site = *db.Sites()[i];
        const Json& json = sites.items[i];
        EXPECT_EQ(json.Keys(),
                  (std::vector<std::string>{"url", "title", "annotation", "visited", "hidden", "x",
                                            "y", "time", "words", "links"}));
        EXPECT_EQ(json["url"].text, site.m_url);
        EXPECT_EQ(json["title"].text, site.m_title); // the bytes come back exactly
        EXPECT_EQ(json["annotation"].text, site.m_annotation);
        EXPECT_EQ(json["visited"].number, 1);
        EXPECT_EQ(json["hidden"].number, site.m_hidden);
        EXPECT_EQ(json["x"].number, site.m_x);
        EXPECT_EQ(json["y"].number, site.m_y);
        EXPECT_EQ(json["time"].number, 1600000000 + static_cast<int>(i));
        ASSERT_EQ(json["words"].items.size(), 2u);
        EXPECT_EQ(json["words"].items[1].text, "SHARED");
        ASSERT_EQ(json["links"].items.size(), i);
        for (std::size_t j = 0; j < i; ++j) {
            const Json& link = json["links"].items[j];
            EXPECT_EQ(link.Keys(),
                      (std::vector<std::string>{"url", "title", "annotation", "hidden", "x", "y"}));
            EXPECT_EQ(link["url"].text, "http://link/" + std::to_string(j));
            EXPECT_EQ(link["x"].number, -100 * static_cast<int>(j));
            EXPECT_EQ(link["y"].number, site.m_links[j]->m_y);
        }
    }
    EXPECT_EQ(sites.items[1]["annotation"].text, "my \"note\"");
}

TEST(WayfoldDump, DamagedFilesFailWithAMessageAndStayUntouched) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    const std::string cut = HandMadeFile().substr(0, 60);
    WriteFileBytes(path, cut);
    DumpRun run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    EXPECT_EQ(FileBytes(path), cut);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});

    WriteFileBytes(path, Int32Bytes(7) + Int32Bytes(0) + Int32Bytes(0));
    run = RunDump(folder, {path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "wayfold-dump: Url database is from wrong version: can't read.\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});

    run = RunDump(folder, {folder.File("nothing/urls.wfx")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nothing/urls.wfx"), std::string::npos);
}

TEST(WayfoldDump, KindComesFromTheNameOrFromAsAndOtherNamesReadAsUrls) {
    CTestFolder folder;
    const std::string copy = folder.File("backup.bin");
    WriteFileBytes(copy, HandMadeFile());
    DumpRun run = RunDump(folder, {copy});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ParseJson(run.out)["sites"].items.size(), 1u);
    run = RunDump(folder, {"--as", "urls.wfx", copy});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ParseJson(run.out)["sites"].items.size(), 1u);
    run = RunDump(folder, {"--as", "nonsense.wfx", copy});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("nonsense.wfx"), std::string::npos);

    const std::string aside = folder.File("urls.wfx.damaged");
    WriteFileBytes(aside, HandMadeFile());
    run = RunDump(folder, {aside});
    EXPECT_EQ(run.status, 0) << run.err;
}
