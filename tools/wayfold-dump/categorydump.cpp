#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "tools/wayfold-dump/dumpers.h"
#include "tools/wayfold-dump/jsonwriter.h"

#include "model/errorreport.h"

#include <map>
#include <memory>
#include <sys/stat.h>

namespace {
std::string& UrlDatabasePath() {
    static std::string path;
    return path;
}

void WriteCategory(const CCategory& category, CJsonWriter& json) {
    json.BeginObject();
    json.Member("index", category.m_index);
    json.Member("name", category.m_name);
    json.Member("parent", category.m_parent);
    json.Key("children");
    json.BeginArray();
    for (std::int32_t child : category.m_children.ActiveKeys())
        json.Int(child);
    json.EndArray();
    json.Key("sites");
    json.BeginArray();
    for (const CSite* site : category.m_sites)
        json.String(site->m_url);
    json.EndArray();
    json.Key("words");
    json.BeginArray();
    for (const auto& entry : category.m_words.Entries()) {
        json.BeginObject();
        json.Member("word", entry.word);
        json.Member("weight", entry.weight);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}
} // namespace

void SetCategoryUrlDatabase(const std::string& path) {
    UrlDatabasePath() = path;
}

// Reads through the program's own loader. Without a URL database every stored URL stands for
// a site of its own, so the sites are listed as the file holds them.
bool DumpCategories(const std::string& path, const std::string& shownName, CJsonWriter& json) {
    CSiteDatabase database;
    std::map<std::string, std::unique_ptr<CSite>> standIns;
    CCategoryTree::SiteResolver resolver;
    if (!UrlDatabasePath().empty()) {
        // The loader takes a missing file for an empty database; here it is a mistake.
        struct stat info;
        if (::stat(UrlDatabasePath().c_str(), &info) != 0) {
            ShowError("Can't find the URL database " + UrlDatabasePath() + ".");
            return false;
        }
        if (!database.OpenReadOnly(UrlDatabasePath()))
            return false;
        resolver = [&database](const std::string& url) { return database.FindSite(url); };
    } else {
        resolver = [&standIns](const std::string& url) {
            auto& site = standIns[url];
            if (!site)
                site = std::make_unique<CSite>(url, "", "<NONE>", 1, 1);
            return site.get();
        };
    }
    CCategoryTree tree;
    const bool whole = tree.Open(path, resolver);
    tree.DetachFile();
    if (!whole)
        return false;
    json.BeginObject();
    json.Member("file", shownName);
    json.Key("slots");
    json.BeginArray();
    for (int index = 0; index < tree.SlotCount(); ++index) {
        json.LineBreak();
        if (const CCategory* category = tree.CategoryAt(index))
            WriteCategory(*category, json);
        else
            json.Null();
    }
    json.EndArray();
    json.EndObject();
    return true;
}
