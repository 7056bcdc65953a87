#include "model/categorizer.h"

#include "model/category.h"
#include "model/categoryindex.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/wordentry.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <unordered_map>

namespace {
using CWordMap = decltype(CSite::m_words);

// Keys of both word maps (both sorted the same way).
std::size_t SharedKeyCount(const CWordMap& a, const CWordMap& b) {
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

// The same measure through a hash of the site's words.
double CategoryWordsMeasure(const CCategory& category,
                            const std::unordered_map<std::string_view, const CWordEntry*>& words) {
    if (category.m_words.Empty())
        return 0.0;
    double sum = 0.0;
    for (const auto& entry : category.m_words.Entries()) {
        const auto found = words.find(entry.word);
        if (found != words.end())
            sum += found->second->m_count;
    }
    return sum / category.m_words.Count();
}

// The three measures weighted and put together; one expression for both ways of summing, so
// the scores come out bit for bit the same.
double CombinedScore(double wordsMeasure, const CCategorySiteSums& sums,
                     const CCategorizerWeights& weights) {
    double score = wordsMeasure * weights.words;
    if (sums.room != 0.0)
        score += sums.shared / sums.room * weights.urls;
    if (sums.total != 0.0)
        score += sums.hits / sums.total * weights.links;
    return score / 3.0;
}

CCategorizerWeights Clamped(const CCategorizerWeights& given) {
    // Weights come from settings; out-of-range values (or NaN) would break the ordering.
    const auto clamp = [](double w) { return w > 0.0 ? std::min(w, 1.0) : 0.0; };
    return CCategorizerWeights{clamp(given.words), clamp(given.links), clamp(given.urls)};
}

// Orders the ranking by the scores given and scales them so that the best is 1.0.
CCategory* RankAndScale(CCategoryTree& tree) {
    std::vector<int>& ranking = tree.Ranking();
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
} // namespace

double CCategorizer::RawScore(const CCategory& category, const CSite& site,
                              const CCategorizerWeights& weights) {
    double nonEmptyLinks = 0.0;
    for (const auto& link : site.m_links)
        if (link)
            nonEmptyLinks += 1.0;
    CCategorySiteSums sums;
    for (const CSite* member : category.m_sites) {
        if (!member)
            continue;
        sums.shared += static_cast<double>(SharedKeyCount(member->m_words, site.m_words));
        sums.room += static_cast<double>(std::min(member->m_words.size(), site.m_words.size()));
        if (member == &site)
            sums.hits += 2.0;
        sums.total += 2.0;
        for (const auto& link : site.m_links)
            if (link.get() == member)
                sums.hits += 1.0;
        sums.total += nonEmptyLinks;
    }
    return CombinedScore(CategoryWordsMeasure(category, site), sums, weights);
}

CCategory* CCategorizer::CategorizeLiteral(CCategoryTree& tree, const CSite& site,
                                           const CCategorizerWeights& given) {
    const CCategorizerWeights weights = Clamped(given);
    std::vector<int>& ranking = tree.Ranking();
    ranking.assign(static_cast<std::size_t>(tree.SlotCount()), -1);
    for (int index = 0; index < tree.SlotCount(); ++index) {
        CCategory* category = tree.CategoryAt(index);
        if (!category)
            continue;
        category->m_score = RawScore(*category, site, weights);
        ranking[static_cast<std::size_t>(index)] = index;
    }
    return RankAndScale(tree);
}

CCategory* CCategorizer::Categorize(CCategoryTree& tree, const CSite& site,
                                    const CCategorizerWeights& given) {
    const CCategorizerWeights weights = Clamped(given);
    thread_local std::vector<CCategorySiteSums> sums;
    tree.ScoreIndex().Measure(tree, site, sums);
    std::unordered_map<std::string_view, const CWordEntry*> words;
    words.reserve(site.m_words.size());
    for (const auto& [text, entry] : site.m_words)
        words.emplace(text, entry);

    std::vector<int>& ranking = tree.Ranking();
    ranking.assign(static_cast<std::size_t>(tree.SlotCount()), -1);
    for (int index = 0; index < tree.SlotCount(); ++index) {
        CCategory* category = tree.CategoryAt(index);
        if (!category)
            continue;
        category->m_score = CombinedScore(CategoryWordsMeasure(*category, words),
                                          sums[static_cast<std::size_t>(index)], weights);
        ranking[static_cast<std::size_t>(index)] = index;
    }
    return RankAndScale(tree);
}

std::string CCategorizer::StatusText(const CSite& site, const CCategory* answer) {
    if (!answer)
        return "Can't categorize this site\n";
    const CCategory* parent = answer->Parent();
    return "Categorized " + site.m_url + " as " +
           (parent ? parent->m_name + ":" + answer->m_name : answer->m_name);
}
