// Fuzzes the cats.wfx loader with a URL database of a few sites: any file must load (whole or
// up to its damage) without a crash, its links must name categories, every walk over the
// hierarchy must end, and a hierarchy read whole must come back the same after a save.

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzscratchdir.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace {
// The sites the seed files name, in memory only.
const CSiteDatabase& Database() {
    static CSiteDatabase* db = [] {
        auto* made = new CSiteDatabase;
        for (const char* url : {"http://a.example/", "http://b.example/one.html",
                                "http://b.example/two.html", "file:///home/user/page.html"})
            made->AddSite(std::make_unique<CSite>(url, "title", "", 1));
        return made;
    }();
    return *db;
}

void CheckHierarchy(const CCategoryTree& tree) {
    const int slots = std::min(tree.SlotCount(), 64);
    for (int i = 0; i < tree.SlotCount(); ++i) {
        const CCategory* category = tree.CategoryAt(i);
        if (!category)
            continue;
        FUZZ_REQUIRE(category->m_index == i && category->m_tree == &tree);
        FUZZ_REQUIRE(category->m_parent < 0 || tree.CategoryAt(category->m_parent));
        for (std::int32_t child : category->m_children.ActiveKeys())
            FUZZ_REQUIRE(child != i && tree.CategoryAt(child));
        for (const CSite* site : category->m_sites)
            FUZZ_REQUIRE(Database().FindSite(site->m_url) == site);
        FUZZ_REQUIRE(category->PathName().size() >= category->m_name.size());
        if (i < slots)
            for (int j = 0; j < slots; ++j)
                tree.IsInSubtree(*category, j);
    }
}

std::string Describe(const CCategoryTree& tree) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        text += std::to_string(part.size()) + ":" + part + ";";
    };
    for (int i = 0; i < tree.SlotCount(); ++i) {
        const CCategory* category = tree.CategoryAt(i);
        if (!category) {
            add("empty");
            continue;
        }
        add(category->m_name);
        // Any negative parent means the top level; the file holds -1 for it.
        add(std::to_string(std::max(category->m_parent, -1)));
        for (std::int32_t child : category->m_children.ActiveKeys())
            add("c" + std::to_string(child));
        for (const CSite* site : category->m_sites)
            add(site->m_url);
        for (const auto& entry : category->m_words.Entries())
            add(entry.word + " " + std::to_string(entry.weight));
    }
    return text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzScratchDir& scratch = CFuzzScratchDir::Instance();
    const std::string path = scratch.WriteInput("cats.wfx", data, size);

    std::string saved;
    {
        CCategoryTree tree;
        const bool whole = tree.Open(path, Database());
        CheckHierarchy(tree);
        if (!whole) {
            tree.DetachFile(); // a damaged file would be set aside at destruction
            return 0;
        }
        saved = Describe(tree);
        FUZZ_REQUIRE(tree.Save());
        tree.DetachFile();
    }
    CCategoryTree again;
    FUZZ_REQUIRE(again.Open(path, Database()));
    again.DetachFile();
    CheckHierarchy(again);
    FUZZ_REQUIRE(Describe(again) == saved);
    return 0;
}
