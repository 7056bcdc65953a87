#pragma once

#include <string>

class CCategory;
class CCategoryTree;
class CSite;

// The three user weights, each from 0.0 to 1.0.
struct CCategorizerWeights {
    double words = 0.5; // "Words Weight": the category-words measure
    double links = 0.5; // "Links Weight": the shared-links measure
    double urls = 0.5;  // "Urls Weight": the shared-words measure
};

// Files a visited site into the category that fits it best. Every category gets a score from
// three weighted measures (its defining words found among the site's words, the words the
// site shares with the category's sites, and the category's sites that are the site itself or
// among its links); the hierarchy's ranking orders the slots by score.
class CCategorizer {
public:
    // Scores every category of the tree (m_score; weights are held to 0.0-1.0), refills the tree's
    // Ranking() with one entry per slot (best first, equal scores by slot index, empty slots last)
    // and scales the positive scores so that the best is exactly 1.0. Returns the best category, or
    // null when there is none with a positive score. Runs on the user-interface thread only.
    // The categories' shared words are counted through the hierarchy's ScoreIndex().
    static CCategory* Categorize(CCategoryTree& tree, const CSite& site,
                                 const CCategorizerWeights& weights);
    // The same result by the plain walk: every site of every category, every word of each.
    // The reference the indexed way is held to.
    static CCategory* CategorizeLiteral(CCategoryTree& tree, const CSite& site,
                                        const CCategorizerWeights& weights);
    // One category's score before the scaling: the sum of the three weighted measures, / 3.
    static double RawScore(const CCategory& category, const CSite& site,
                           const CCategorizerWeights& weights);

    // The status text for the answer: "Categorized " + URL + " as " + parent name + ":" +
    // name (a category without a parent: its name alone), or "Can't categorize this site\n"
    // when there is no answer.
    static std::string StatusText(const CSite& site, const CCategory* answer);
};
