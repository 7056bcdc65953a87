#include "model/categorizer.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/wordentry.h"

#include <algorithm>
#include <cstddef>
#include <map>

namespace {
// Keys of both word maps (both sorted the same way).
std::size_t SharedKeyCount(const std::map<std::string, CWordEntry*>& a,
                           const std::map<std::string, CWordEntry*>& b) {
    std::size_t shared = 0;
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() && j != b.end()) {
        if (i->first < j->first) {
            ++i;
        } else if (j->first < i->first) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    return shared;
}

double CategoryWordsMeasure(const CCategory& category, const CSite& site) {
    if (category.m_words.Empty())
        return 0.0;
    double sum = 0.0;
    for (const auto& entry : category.m_words.Entries()) {
        const auto found = site.m_words.find(entry.word);
        if (found != site.m_words.end() && found->second)
            sum += found->second->m_count;
    }
    return sum / category.m_words.Count();
}
} // namespace

double CCategorizer::RawScore(const CCategory& category, const CSite& site,
                              const CCategorizerWeights& weights) {
    double score = CategoryWordsMeasure(category, site) * weights.words;

    double nonEmptyLinks = 0.0;
    for (const auto& link : site.m_links)
        if (link)
            nonEmptyLinks += 1.0;
    double shared = 0.0, room = 0.0, hits = 0.0, total = 0.0;
    for (const CSite* member : category.m_sites) {
        if (!member)
            continue;
        shared += static_cast<double>(SharedKeyCount(member->m_words, site.m_words));
        room += static_cast<double>(std::min(member->m_words.size(), site.m_words.size()));
        if (member == &site)
            hits += 2.0;
        total += 2.0;
        for (const auto& link : site.m_links)
            if (link.get() == member)
                hits += 1.0;
        total += nonEmptyLinks;
    }
    if (room != 0.0)
        score += shared / room * weights.urls;
    if (total != 0.0)
        score += hits / total * weights.links;
    return score / 3.0;
}

CCategory* CCategorizer::Categorize(CCategoryTree& tree, const CSite& site,
                                    const CCategorizerWeights& given) {
    // Weights come from settings; out-of-range values (or NaN) would break the ordering.
    const auto clamp = [](double w) { return w > 0.0 ? std::min(w, 1.0) : 0.0; };
    const CCategorizerWeights weights{clamp(given.words), clamp(given.links), clamp(given.urls)};
    std::vector<int>& ranking = tree.Ranking();
    ranking.assign(static_cast<std::size_t>(tree.SlotCount()), -1);
    for (int index = 0; index < tree.SlotCount(); ++index) {
        CCategory* category = tree.CategoryAt(index);
        if (!category)
            continue;
        category->m_score = RawScore(*category, site, weights);
        ranking[static_cast<std::size_t>(index)] = index;
    }
    // Empty slots last; higher scores first; equal scores keep slot order.
    std::stable_sort(ranking.begin(), ranking.end(), [&tree](int a, int b) {
        if (a < 0 || b < 0)
            return a >= 0 && b < 0;
        return tree.CategoryAt(a)->m_score > tree.CategoryAt(b)->m_score;
    });

    CCategory* best = ranking.empty() ? nullptr : tree.CategoryAt(ranking.front());
    if (!best || !(best->m_score > 0.0))
        return nullptr;
    const double top = best->m_score;
    for (int index : ranking) {
        CCategory* category = tree.CategoryAt(index);
        if (!category || !(category->m_score > 0.0))
            break;
        category->m_score = category == best ? 1.0 : category->m_score / top;
    }
    return best;
}

std::string CCategorizer::StatusText(const CSite& site, const CCategory* answer) {
    if (!answer)
        return "Can't categorize this site\n";
    const CCategory* parent = answer->Parent();
    return "Categorized " + site.m_url + " as " +
           (parent ? parent->m_name + ":" + answer->m_name : answer->m_name);
}
