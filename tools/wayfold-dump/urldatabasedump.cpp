#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "tools/wayfold-dump/dumpers.h"
#include "tools/wayfold-dump/jsonwriter.h"

namespace {
void WriteWords(const CSiteDatabase& db, CJsonWriter& json) {
    json.Key("words");
    json.BeginArray();
    for (const auto& [key, entry] : db.Words()) {
        json.LineBreak();
        json.BeginObject();
        json.Member("text", entry->m_text);
        json.Member("x", entry->m_x);
        json.Member("y", entry->m_y);
        json.Member("count", entry->m_count);
        json.EndObject();
    }
    json.EndArray();
}

// The texts of a site or link record, then the members between them and its position.
void WriteTexts(const CSite& site, CJsonWriter& json) {
    json.Member("url", site.m_url);
    json.Member("title", site.m_title);
    json.Member("annotation", site.m_annotation);
}

void WritePosition(const CSite& site, CJsonWriter& json) {
    json.Member("x", site.m_x);
    json.Member("y", site.m_y);
}

// Link times are left out: the loader gives every link the time of loading.
void WriteLink(const CSite& link, CJsonWriter& json) {
    json.BeginObject();
    WriteTexts(link, json);
    json.Member("hidden", link.m_hidden);
    WritePosition(link, json);
    json.EndObject();
}

void WriteSite(const CSite& site, CJsonWriter& json) {
    json.BeginObject();
    WriteTexts(site, json);
    json.Member("visited", site.m_visited);
    json.Member("hidden", site.m_hidden);
    WritePosition(site, json);
    json.Member("time", site.m_time);
    json.Key("words");
    json.BeginArray();
    for (const auto& [text, entry] : site.m_words)
        json.String(text);
    json.EndArray();
    json.Key("links");
    json.BeginArray();
    for (const auto& link : site.m_links) {
        if (link)
            WriteLink(*link, json);
    }
    json.EndArray();
    json.EndObject();
}
} // namespace

bool DumpUrlDatabase(const std::string& path, const std::string& shownName, CJsonWriter& json) {
    CSiteDatabase db;
    if (!db.OpenReadOnly(path))
        return false;
    json.BeginObject();
    json.Member("file", shownName);
    json.Member("version", db.Version());
    json.LineBreak();
    WriteWords(db, json);
    json.LineBreak();
    json.Key("sites");
    json.BeginArray();
    for (const auto& site : db.Sites()) {
        if (!site)
            continue;
        json.LineBreak();
        WriteSite(*site, json);
    }
    json.EndArray();
    json.EndObject();
    return true;
}
