#include "model/sitefilterlist.h"
#include "tools/wayfold-dump/dumpers.h"
#include "tools/wayfold-dump/jsonwriter.h"

bool DumpSiteFilters(const std::string& path, const std::string& shownName, CJsonWriter& json) {
    CSiteFilterList filters;
    const bool whole = filters.Open(path);
    filters.DetachFile();
    if (!whole)
        return false;
    json.BeginObject();
    json.Member("file", shownName);
    json.Key("filters");
    json.BeginArray();
    for (const auto& filter : filters.FilterArray()) {
        json.LineBreak();
        json.BeginObject();
        json.Member("type", filter->m_type);
        json.Member("text", filter->TextForm());
        json.Key("strings");
        json.BeginArray();
        for (const std::string& text : filter->m_strings)
            json.String(text);
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return true;
}
