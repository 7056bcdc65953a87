#include "model/maprelaxation.h"

#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace {

constexpr double kWordRestLength = 200.0;
constexpr double kLinkRestLength = 1000.0;
constexpr double kSpringStrength = 3.0;
constexpr double kMaxSpeed = 5.0;
constexpr double kRepulsionStep = 2.0;
constexpr std::int32_t kLowestPosition = 50;
constexpr std::int32_t kHighestPosition = 1950;

struct CPush {
    double x = 0.0;
    double y = 0.0;
};

// The spring force factor times the offset from the far end; zero when the ends coincide.
CPush SpringPull(double dx, double dy, double restLength) {
    const double dist = std::hypot(dx, dy);
    if (!(dist > 0.0))
        return {};
    const double f = (restLength - dist) / dist * kSpringStrength;
    return {f * dx, f * dy};
}

// Inverse-distance push of a node at (x, y) away from one at (ox, oy); two nodes on the same
// point push each other a random small amount.
void AddRepulsion(CPush& sum, std::int32_t x, std::int32_t y, std::int32_t ox, std::int32_t oy) {
    const double dx = static_cast<double>(x) - ox;
    const double dy = static_cast<double>(y) - oy;
    const double dist2 = dx * dx + dy * dy;
    if (dist2 == 0.0) {
        sum.x += RandomBetween(0, 100) / 100.0;
        sum.y += RandomBetween(0, 100) / 100.0;
        return;
    }
    sum.x += dx / dist2;
    sum.y += dy / dist2;
}

// The coordinate moved by the step truncated toward zero, kept inside the integer range.
std::int32_t Shifted(std::int32_t coordinate, double step) {
    const std::int64_t moved =
        static_cast<std::int64_t>(coordinate) + static_cast<std::int64_t>(step);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        moved, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Moves the node a step of length 2 along the summed push, each coordinate truncated.
void StepAlong(const CPush& sum, std::int32_t& x, std::int32_t& y) {
    const double length = std::hypot(sum.x, sum.y);
    if (!(length > 0.0) || !std::isfinite(length))
        return;
    x = Shifted(x, sum.x / (length / kRepulsionStep));
    y = Shifted(y, sum.y / (length / kRepulsionStep));
}

void Integrate(std::int32_t& x, std::int32_t& y, double& vx, double& vy) {
    vx = std::isfinite(vx) ? std::clamp(vx, -kMaxSpeed, kMaxSpeed) : 0.0;
    vy = std::isfinite(vy) ? std::clamp(vy, -kMaxSpeed, kMaxSpeed) : 0.0;
    const std::int64_t nx = static_cast<std::int64_t>(x) + static_cast<std::int64_t>(vx);
    const std::int64_t ny = static_cast<std::int64_t>(y) + static_cast<std::int64_t>(vy);
    x = static_cast<std::int32_t>(std::clamp<std::int64_t>(nx, kLowestPosition, kHighestPosition));
    y = static_cast<std::int32_t>(std::clamp<std::int64_t>(ny, kLowestPosition, kHighestPosition));
    vx /= 2.0;
    vy /= 2.0;
}

void ApplySprings(const std::vector<CSite*>& sites) {
    for (CSite* site : sites) {
        for (const auto& [text, word] : site->m_words) {
            if (!word)
                continue;
            const CPush pull =
                SpringPull(static_cast<double>(site->m_x) - word->m_x,
                           static_cast<double>(site->m_y) - word->m_y, kWordRestLength);
            site->m_vx += pull.x;
            site->m_vy += pull.y;
            word->m_vx -= pull.x;
            word->m_vy -= pull.y;
        }
        for (const auto& link : site->m_links) {
            if (!link)
                continue;
            const CPush pull =
                SpringPull(static_cast<double>(site->m_x) - link->m_x,
                           static_cast<double>(site->m_y) - link->m_y, kLinkRestLength);
            site->m_vx += pull.x;
            site->m_vy += pull.y;
        }
    }
}

void RepelSites(const std::vector<CSite*>& sites) {
    for (std::size_t i = 0; i < sites.size(); ++i) {
        CSite& site = *sites[i];
        CPush fromSites;
        for (std::size_t j = i + 1; j < sites.size(); ++j)
            AddRepulsion(fromSites, site.m_x, site.m_y, sites[j]->m_x, sites[j]->m_y);
        StepAlong(fromSites, site.m_x, site.m_y);

        CPush fromWords;
        for (const auto& [text, word] : site.m_words) {
            if (word)
                AddRepulsion(fromWords, site.m_x, site.m_y, word->m_x, word->m_y);
        }
        StepAlong(fromWords, site.m_x, site.m_y);
    }
}

void RepelWords(const std::vector<CWordEntry*>& words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        CWordEntry& word = *words[i];
        CPush sum;
        for (std::size_t j = i + 1; j < words.size(); ++j)
            AddRepulsion(sum, word.m_x, word.m_y, words[j]->m_x, words[j]->m_y);
        StepAlong(sum, word.m_x, word.m_y);
    }
}

// The repulsion sums of nodes [begin, end) against every later node, from the positions as
// they are before any node of the step moves: in the step a node moves only at its own turn,
// after every earlier node, so the later nodes it is pushed by are still where they started.
// Each node's terms are added in the same order as the step adds them, so the sums are the
// same to the last bit. Four nodes are summed side by side. A node that meets a node on the
// same point is marked: its sum takes random numbers and is made again at its turn.
void LaterRepulsionSums(const std::vector<double>& xs, const std::vector<double>& ys,
                        std::size_t begin, std::size_t end, std::vector<CPush>& sums,
                        std::vector<unsigned char>& coincident) {
    constexpr std::size_t kLanes = 4;
    const std::size_t n = xs.size();
    for (std::size_t i0 = begin; i0 < end; i0 += kLanes) {
        const std::size_t lanes = std::min(kLanes, end - i0);
        double sx[kLanes] = {}, sy[kLanes] = {}, px[kLanes] = {}, py[kLanes] = {};
        bool met[kLanes] = {};
        for (std::size_t k = 0; k < lanes; ++k) {
            px[k] = xs[i0 + k];
            py[k] = ys[i0 + k];
        }
        // The first few later nodes are later for only some of the lanes.
        const std::size_t common = std::min(n, i0 + kLanes);
        for (std::size_t k = 0; k < lanes; ++k) {
            for (std::size_t j = i0 + k + 1; j < common; ++j) {
                const double dx = px[k] - xs[j];
                const double dy = py[k] - ys[j];
                const double dist2 = dx * dx + dy * dy;
                met[k] |= dist2 == 0.0;
                sx[k] += dx / dist2;
                sy[k] += dy / dist2;
            }
        }
        for (std::size_t j = common; j < n; ++j) {
            const double ox = xs[j];
            const double oy = ys[j];
            for (std::size_t k = 0; k < kLanes; ++k) {
                const double dx = px[k] - ox;
                const double dy = py[k] - oy;
                const double dist2 = dx * dx + dy * dy;
                met[k] |= dist2 == 0.0;
                sx[k] += dx / dist2;
                sy[k] += dy / dist2;
            }
        }
        for (std::size_t k = 0; k < lanes; ++k) {
            sums[i0 + k] = CPush{sx[k], sy[k]};
            coincident[i0 + k] = met[k] ? 1 : 0;
        }
    }
}

// LaterRepulsionSums for all nodes, the work shared between two threads when there are two
// cores: node i has n - i - 1 later nodes, so the first thread takes the first 29% of them.
void AllLaterRepulsionSums(const std::vector<double>& xs, const std::vector<double>& ys,
                           std::vector<CPush>& sums, std::vector<unsigned char>& coincident) {
    const std::size_t n = xs.size();
    sums.assign(n, CPush{});
    coincident.assign(n, 0);
    constexpr std::size_t kWorthAThread = 2000;
    if (n < kWorthAThread || std::thread::hardware_concurrency() < 2) {
        LaterRepulsionSums(xs, ys, 0, n, sums, coincident);
        return;
    }
    const std::size_t split =
        (static_cast<std::size_t>(static_cast<double>(n) * 0.2929) + 3) & ~std::size_t{3};
    std::thread first([&] { LaterRepulsionSums(xs, ys, 0, split, sums, coincident); });
    LaterRepulsionSums(xs, ys, split, n, sums, coincident);
    first.join();
}

template <class Node>
void PositionsOf(const std::vector<Node*>& nodes, std::vector<double>& xs,
                 std::vector<double>& ys) {
    xs.resize(nodes.size());
    ys.resize(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        xs[i] = nodes[i]->m_x;
        ys[i] = nodes[i]->m_y;
    }
}

// The push on node i from every later node: the sum made ahead, or, for a node that shares its
// point with another, the literal loop (its random draws must come in the literal order).
template <typename Node>
CPush RepulsionFromLater(const std::vector<Node*>& nodes, std::size_t i,
                         const std::vector<CPush>& sums,
                         const std::vector<unsigned char>& coincident) {
    if (!coincident[i])
        return sums[i];
    CPush sum;
    const Node& node = *nodes[i];
    for (std::size_t j = i + 1; j < nodes.size(); ++j)
        AddRepulsion(sum, node.m_x, node.m_y, nodes[j]->m_x, nodes[j]->m_y);
    return sum;
}

void RepelSitesFast(const std::vector<CSite*>& sites) {
    std::vector<double> xs, ys;
    PositionsOf(sites, xs, ys);
    std::vector<CPush> sums;
    std::vector<unsigned char> coincident;
    AllLaterRepulsionSums(xs, ys, sums, coincident);
    for (std::size_t i = 0; i < sites.size(); ++i) {
        CSite& site = *sites[i];
        StepAlong(RepulsionFromLater(sites, i, sums, coincident), site.m_x, site.m_y);

        CPush fromWords;
        for (const auto& [text, word] : site.m_words) {
            if (word)
                AddRepulsion(fromWords, site.m_x, site.m_y, word->m_x, word->m_y);
        }
        StepAlong(fromWords, site.m_x, site.m_y);
    }
}

void RepelWordsFast(const std::vector<CWordEntry*>& words) {
    std::vector<double> xs, ys;
    PositionsOf(words, xs, ys);
    std::vector<CPush> sums;
    std::vector<unsigned char> coincident;
    AllLaterRepulsionSums(xs, ys, sums, coincident);
    for (std::size_t i = 0; i < words.size(); ++i) {
        CWordEntry& word = *words[i];
        StepAlong(RepulsionFromLater(words, i, sums, coincident), word.m_x, word.m_y);
    }
}

struct CMapNodes {
    std::vector<CSite*> sites;
    std::vector<CWordEntry*> words;
};

CMapNodes NodesOf(const CSiteDatabase& database) {
    CMapNodes nodes;
    nodes.sites.reserve(database.Sites().size());
    for (const auto& site : database.Sites()) {
        if (site)
            nodes.sites.push_back(site.get());
    }
    nodes.words.reserve(database.Words().size());
    for (const auto& [text, word] : database.Words()) {
        if (word)
            nodes.words.push_back(word.get());
    }
    return nodes;
}

void IntegrateAll(const CMapNodes& nodes) {
    for (CSite* site : nodes.sites)
        Integrate(site->m_x, site->m_y, site->m_vx, site->m_vy);
    for (CWordEntry* word : nodes.words)
        Integrate(word->m_x, word->m_y, word->m_vx, word->m_vy);
}

} // namespace

void RelaxMap(CSiteDatabase& database) {
    const CMapNodes nodes = NodesOf(database);
    ApplySprings(nodes.sites);
    RepelSitesFast(nodes.sites);
    RepelWordsFast(nodes.words);
    IntegrateAll(nodes);
}

void RelaxMapLiteral(CSiteDatabase& database) {
    const CMapNodes nodes = NodesOf(database);
    ApplySprings(nodes.sites);
    RepelSites(nodes.sites);
    RepelWords(nodes.words);
    IntegrateAll(nodes);
}
