#include "views/mapscene.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxDiameter = 20;

bool SameTexts(const CMapScene::CTexts& texts, const CSite& site,
               const std::vector<std::int32_t>& categories) {
    return texts.time == site.m_time && texts.url == site.m_url && texts.title == site.m_title &&
           texts.annotation == site.m_annotation && texts.categories == categories;
}

} // namespace

CMapScene::CMapScene(const CMapScene& other)
    : m_sites(other.m_sites), m_words(other.m_words), m_wordOrder(other.m_wordOrder),
      m_categoryNames(other.m_categoryNames), m_siteCount(other.m_siteCount) {}

CMapScene& CMapScene::operator=(const CMapScene& other) {
    if (this != &other) {
        m_sites = other.m_sites;
        m_words = other.m_words;
        m_wordOrder = other.m_wordOrder;
        m_categoryNames = other.m_categoryNames;
        m_siteCount = other.m_siteCount;
        m_siteSlots.clear();
        m_wordSlots.clear();
        m_grid.clear();
    }
    return *this;
}

// ---- reading ----------------------------------------------------------------------------------

const std::string* CMapScene::CategoryName(std::int32_t slot) const {
    if (!m_categoryNames || slot < 0 || static_cast<std::size_t>(slot) >= m_categoryNames->size())
        return nullptr;
    return (*m_categoryNames)[static_cast<std::size_t>(slot)].get();
}

bool CMapScene::IsWordShown(const CWordNode& word) const {
    if (!word.sites || word.sites->size() < 2)
        return false;
    int visible = 0;
    for (std::uint32_t slot : *word.sites) {
        const CSiteNode& site = m_sites[slot];
        if (site.id && !site.hidden && ++visible > 1)
            return true;
    }
    return false;
}

// ---- copying the store ------------------------------------------------------------------------

std::shared_ptr<const CMapScene::CTexts>
CMapScene::TextsOf(const CSite& site, const std::shared_ptr<const CTexts>& old) const {
    std::vector<std::int32_t> categories;
    for (const CIndexTally::Entry& entry : site.m_categories.Entries()) {
        if (!entry.removed)
            categories.push_back(entry.key);
    }
    if (old && SameTexts(*old, site, categories))
        return old;
    auto texts = std::make_shared<CTexts>();
    texts->url = site.m_url;
    texts->title = site.m_title;
    texts->annotation = site.m_annotation;
    texts->time = site.m_time;
    texts->categories = std::move(categories);
    return texts;
}

CMapScene::CLink CMapScene::LinkOf(const CSite& link, const CLink* old) const {
    CLink node;
    node.id = &link;
    node.texts = TextsOf(link, old ? old->texts : nullptr);
    node.x = link.m_x;
    node.y = link.m_y;
    node.width = link.m_width;
    node.height = link.m_height;
    node.hidden = link.m_hidden != 0;
    node.selected = link.m_selected;
    return node;
}

void CMapScene::FillSite(CSiteNode& node, const CSite& site) {
    node.id = &site;
    node.texts = TextsOf(site, node.texts);
    node.x = site.m_x;
    node.y = site.m_y;
    node.width = site.m_width;
    node.height = site.m_height;
    node.hidden = site.m_hidden != 0;
    node.selected = site.m_selected;
    const std::vector<CLink>* oldLinks = node.links.get();
    auto links = std::make_shared<std::vector<CLink>>();
    links->reserve(site.m_links.size());
    for (const auto& link : site.m_links) {
        if (!link)
            continue;
        const std::size_t index = links->size();
        const CLink* old =
            oldLinks && index < oldLinks->size() && (*oldLinks)[index].id == link.get()
                ? &(*oldLinks)[index]
                : nullptr;
        links->push_back(LinkOf(*link, old));
    }
    node.links = std::move(links);
}

void CMapScene::ReadCategoryNames(const CCategoryTree* categories) {
    auto names = std::make_shared<std::vector<std::unique_ptr<const std::string>>>();
    const int slotCount = categories ? categories->SlotCount() : 0;
    names->reserve(static_cast<std::size_t>(slotCount));
    for (int slot = 0; slot < slotCount; ++slot) {
        const CCategory* category = categories->CategoryAt(slot);
        names->push_back(category ? std::make_unique<const std::string>(category->m_name)
                                  : nullptr);
    }
    m_categoryNames = std::move(names);
}

void CMapScene::Reset(const CSiteDatabase* database, const CCategoryTree* categories) {
    m_sites.clear();
    m_words.clear();
    m_wordOrder.clear();
    m_siteSlots.clear();
    m_wordSlots.clear();
    m_grid.clear();
    m_siteCount = 0;
    ReadCategoryNames(categories);
    if (!database)
        return;
    m_siteSlots.reserve(database->Sites().size());
    for (const auto& site : database->Sites()) {
        if (!site)
            continue;
        CSiteNode node;
        FillSite(node, *site);
        const auto slot = static_cast<std::uint32_t>(m_sites.size());
        m_sites.push_back(std::move(node));
        // A URL stored twice is looked up as the later site, as the database does.
        m_siteSlots[site.get()] = slot;
        ++m_siteCount;
        IndexSite(slot, true);
    }
    std::vector<std::uint32_t> order;
    order.reserve(database->Words().size());
    m_wordSlots.reserve(database->Words().size());
    for (const auto& [text, entry] : database->Words()) {
        if (!entry)
            continue;
        const auto slot = static_cast<std::uint32_t>(m_words.size());
        m_words.push_back(CWordNode{});
        m_wordSlots[entry.get()] = slot;
        ReadWord(slot, *entry);
        auto sites = std::make_shared<std::vector<std::uint32_t>>();
        sites->reserve(entry->m_sites.size());
        for (const auto& [url, site] : entry->m_sites) {
            const auto found = m_siteSlots.find(site);
            if (found != m_siteSlots.end())
                sites->push_back(found->second);
        }
        m_words.Mutable(slot).sites = std::move(sites);
        order.push_back(slot);
    }
    m_wordOrder.Assign(order);
}

// ---- sites ------------------------------------------------------------------------------------

void CMapScene::AddSite(const CSite& site) {
    if (m_siteSlots.contains(&site)) {
        UpdateSite(site);
        return;
    }
    CSiteNode node;
    FillSite(node, site);
    const auto slot = static_cast<std::uint32_t>(m_sites.size());
    m_sites.push_back(std::move(node));
    m_siteSlots[&site] = slot;
    ++m_siteCount;
    IndexSite(slot, true);
    for (const auto& [text, entry] : site.m_words) {
        if (!entry)
            continue;
        const auto found = m_wordSlots.find(entry);
        const std::uint32_t wordSlot =
            found != m_wordSlots.end() ? found->second : AddWordNode(*entry);
        ReadWord(wordSlot, *entry);
        // The site goes where the word's site list, ordered by URL, has it.
        const auto at = entry->m_sites.find(site.m_url);
        if (at == entry->m_sites.end())
            continue;
        CWordNode& word = m_words.Mutable(wordSlot);
        auto sites = word.sites ? std::make_shared<std::vector<std::uint32_t>>(*word.sites)
                                : std::make_shared<std::vector<std::uint32_t>>();
        const auto index =
            std::min(static_cast<std::size_t>(at - entry->m_sites.begin()), sites->size());
        sites->insert(sites->begin() + static_cast<std::ptrdiff_t>(index), slot);
        word.sites = std::move(sites);
    }
}

void CMapScene::RemoveSite(const CSite& site) {
    const auto found = m_siteSlots.find(&site);
    if (found == m_siteSlots.end())
        return;
    const std::uint32_t slot = found->second;
    for (const auto& [text, entry] : site.m_words) {
        if (entry)
            RemoveWordSite(*entry, slot);
    }
    IndexSite(slot, false);
    CSiteNode& node = m_sites.Mutable(slot);
    node = CSiteNode{};
    m_siteSlots.erase(found);
    --m_siteCount;
}

bool CMapScene::UpdateSite(const CSite& site) {
    const auto found = m_siteSlots.find(&site);
    if (found == m_siteSlots.end()) {
        if (site.m_visited)
            return false;
        UpdateLinkOwner(site);
        return true;
    }
    const std::uint32_t slot = found->second;
    const std::string oldUrl = m_sites[slot].texts ? m_sites[slot].texts->url : std::string();
    IndexSite(slot, false);
    FillSite(m_sites.Mutable(slot), site);
    IndexSite(slot, true);
    if (oldUrl != site.m_url) {
        // Its words list their sites in URL order.
        for (const auto& [text, entry] : site.m_words) {
            if (!entry || !m_wordSlots.contains(entry))
                continue;
            const std::uint32_t wordSlot = m_wordSlots.at(entry);
            CWordNode& word = m_words.Mutable(wordSlot);
            auto sites = std::make_shared<std::vector<std::uint32_t>>();
            for (const auto& [url, carrier] : entry->m_sites) {
                const auto carrierSlot = m_siteSlots.find(carrier);
                if (carrierSlot != m_siteSlots.end())
                    sites->push_back(carrierSlot->second);
            }
            word.sites = std::move(sites);
        }
    }
    return true;
}

void CMapScene::UpdateLinkOwner(const CSite& link) {
    for (std::uint32_t slot = 0; slot < m_sites.size(); ++slot) {
        const CSiteNode& node = m_sites[slot];
        if (!node.id || !node.links)
            continue;
        for (const CLink& candidate : *node.links) {
            if (candidate.id == &link) {
                UpdateSite(*node.id);
                return;
            }
        }
    }
}

// ---- words ------------------------------------------------------------------------------------

bool CMapScene::WordBefore(std::uint32_t a, std::uint32_t b) const {
    return *m_words[a].text < *m_words[b].text;
}

std::uint32_t CMapScene::AddWordNode(const CWordEntry& word) {
    const auto slot = static_cast<std::uint32_t>(m_words.size());
    CWordNode node;
    node.id = &word;
    node.text = std::make_shared<const std::string>(word.m_text);
    node.x = word.m_x;
    node.y = word.m_y;
    node.sites = std::make_shared<const std::vector<std::uint32_t>>();
    m_words.push_back(std::move(node));
    m_wordSlots[&word] = slot;
    m_wordOrder.Insert(slot, [this](std::uint32_t a, std::uint32_t b) { return WordBefore(a, b); });
    IndexNode(CNodeRef{CNodeRef::kWord, slot, 0}, word.m_x, word.m_y);
    return slot;
}

void CMapScene::ReadWord(std::uint32_t slot, const CWordEntry& word) {
    const CWordNode& current = m_words[slot];
    const CNodeRef ref{CNodeRef::kWord, slot, 0};
    if (current.id && (current.x != word.m_x || current.y != word.m_y))
        UnindexNode(ref, current.x, current.y);
    const bool moved = !current.id || current.x != word.m_x || current.y != word.m_y;
    CWordNode& node = m_words.Mutable(slot);
    node.id = &word;
    if (!node.text || *node.text != word.m_text)
        node.text = std::make_shared<const std::string>(word.m_text);
    node.x = word.m_x;
    node.y = word.m_y;
    node.width = word.m_width;
    node.height = word.m_height;
    node.selected = word.m_selected != 0;
    if (moved)
        IndexNode(ref, word.m_x, word.m_y);
}

void CMapScene::UpdateWord(const CWordEntry& word) {
    const auto found = m_wordSlots.find(&word);
    if (found != m_wordSlots.end())
        ReadWord(found->second, word);
}

void CMapScene::RemoveWordSite(const CWordEntry& entry, std::uint32_t siteSlot) {
    const auto found = m_wordSlots.find(&entry);
    if (found == m_wordSlots.end())
        return;
    const std::uint32_t slot = found->second;
    CWordNode& word = m_words.Mutable(slot);
    auto sites = std::make_shared<std::vector<std::uint32_t>>(*word.sites);
    std::erase(*sites, siteSlot);
    word.sites = std::move(sites);
    // The database frees a word that no site carries any more.
    if (word.sites->empty())
        EraseWord(slot);
}

void CMapScene::EraseWord(std::uint32_t slot) {
    const CWordNode& word = m_words[slot];
    UnindexNode(CNodeRef{CNodeRef::kWord, slot, 0}, word.x, word.y);
    m_wordOrder.Erase(slot, [this](std::uint32_t a, std::uint32_t b) { return WordBefore(a, b); });
    m_wordSlots.erase(word.id);
    CWordNode& node = m_words.Mutable(slot);
    node = CWordNode{};
    node.text = std::make_shared<const std::string>();
}

void CMapScene::UpdateCategories(const CCategoryTree* categories) {
    ReadCategoryNames(categories);
    for (std::uint32_t slot = 0; slot < m_sites.size(); ++slot) {
        const CSiteNode& node = m_sites[slot];
        if (!node.id)
            continue;
        const auto texts = TextsOf(*node.id, node.texts);
        if (texts != node.texts)
            m_sites.Mutable(slot).texts = texts;
    }
}

void CMapScene::SetNodeSize(const CNodeRef& node, std::int32_t width, std::int32_t height) {
    if (node.kind == CNodeRef::kWord) {
        if (node.slot < m_words.size() && m_words[node.slot].id) {
            CWordNode& word = m_words.Mutable(node.slot);
            word.width = width;
            word.height = height;
        }
        return;
    }
    if (node.slot >= m_sites.size() || !m_sites[node.slot].id)
        return;
    if (node.kind == CNodeRef::kSite) {
        CSiteNode& site = m_sites.Mutable(node.slot);
        site.width = width;
        site.height = height;
        return;
    }
    const CSiteNode& owner = m_sites[node.slot];
    if (!owner.links || node.link >= owner.links->size())
        return;
    auto links = std::make_shared<std::vector<CLink>>(*owner.links);
    (*links)[node.link].width = width;
    (*links)[node.link].height = height;
    m_sites.Mutable(node.slot).links = std::move(links);
}

// ---- finding nodes ----------------------------------------------------------------------------

std::int64_t CMapScene::SlotOf(const CSite* site) const {
    const auto found = m_siteSlots.find(site);
    return found == m_siteSlots.end() ? -1 : found->second;
}

std::int64_t CMapScene::SlotOf(const CWordEntry* word) const {
    const auto found = m_wordSlots.find(word);
    return found == m_wordSlots.end() ? -1 : found->second;
}

CSite* CMapScene::SiteOf(const CNodeRef& node) const {
    if (node.kind == CNodeRef::kWord || node.slot >= m_sites.size())
        return nullptr;
    const CSiteNode& site = m_sites[node.slot];
    if (!site.id)
        return nullptr;
    if (node.kind == CNodeRef::kSite)
        return const_cast<CSite*>(site.id);
    if (!site.links || node.link >= site.links->size())
        return nullptr;
    return const_cast<CSite*>((*site.links)[node.link].id);
}

CWordEntry* CMapScene::WordOf(const CNodeRef& node) const {
    if (node.kind != CNodeRef::kWord || node.slot >= m_words.size())
        return nullptr;
    return const_cast<CWordEntry*>(m_words[node.slot].id);
}

void CMapScene::DotOf(const CNodeRef& node, std::int32_t& x, std::int32_t& y, int& diameter) const {
    if (node.kind == CNodeRef::kWord) {
        const CWordNode& word = m_words[node.slot];
        x = word.x;
        y = word.y;
        diameter = CWordEntry::kDiameter;
        return;
    }
    const CSiteNode& site = m_sites[node.slot];
    if (node.kind == CNodeRef::kSite) {
        x = site.x;
        y = site.y;
        diameter = 20;
        return;
    }
    const CLink& link = (*site.links)[node.link];
    x = link.x;
    y = link.y;
    diameter = 15;
}

CMapScene::CellKey CMapScene::Cell(std::int64_t cx, std::int64_t cy) {
    return (cx << 32) ^ (cy & 0xffffffff);
}

void CMapScene::IndexNode(const CNodeRef& node, std::int32_t x, std::int32_t y) {
    const std::int64_t cx = static_cast<std::int64_t>(std::floor(x / double(kCellSize)));
    const std::int64_t cy = static_cast<std::int64_t>(std::floor(y / double(kCellSize)));
    m_grid[Cell(cx, cy)].push_back(node);
}

void CMapScene::UnindexNode(const CNodeRef& node, std::int32_t x, std::int32_t y) {
    const std::int64_t cx = static_cast<std::int64_t>(std::floor(x / double(kCellSize)));
    const std::int64_t cy = static_cast<std::int64_t>(std::floor(y / double(kCellSize)));
    const auto cell = m_grid.find(Cell(cx, cy));
    if (cell == m_grid.end())
        return;
    std::vector<CNodeRef>& nodes = cell->second;
    const auto at = std::find(nodes.begin(), nodes.end(), node);
    if (at != nodes.end()) {
        *at = nodes.back();
        nodes.pop_back();
    }
    if (nodes.empty())
        m_grid.erase(cell);
}

void CMapScene::IndexSite(std::uint32_t slot, bool add) {
    const CSiteNode& site = m_sites[slot];
    if (!site.id)
        return;
    auto apply = [&](const CNodeRef& node, std::int32_t x, std::int32_t y) {
        add ? IndexNode(node, x, y) : UnindexNode(node, x, y);
    };
    apply(CNodeRef{CNodeRef::kSite, slot, 0}, site.x, site.y);
    if (!site.links)
        return;
    for (std::uint32_t i = 0; i < site.links->size(); ++i) {
        const CLink& link = (*site.links)[i];
        apply(CNodeRef{CNodeRef::kLink, slot, i}, link.x, link.y);
    }
}

std::vector<CMapScene::CNodeRef> CMapScene::NodesNear(const QRectF& world) const {
    std::vector<CNodeRef> nodes;
    const QRectF area = world.normalized();
    // A dot reaches up to its diameter right of and below its cell's corner.
    const auto firstX =
        static_cast<std::int64_t>(std::floor((area.left() - kMaxDiameter) / kCellSize));
    const auto lastX = static_cast<std::int64_t>(std::floor(area.right() / kCellSize));
    const auto firstY =
        static_cast<std::int64_t>(std::floor((area.top() - kMaxDiameter) / kCellSize));
    const auto lastY = static_cast<std::int64_t>(std::floor(area.bottom() / kCellSize));
    const std::int64_t cells = (lastX - firstX + 1) * (lastY - firstY + 1);
    if (cells > static_cast<std::int64_t>(m_grid.size())) {
        for (const auto& [key, cellNodes] : m_grid)
            nodes.insert(nodes.end(), cellNodes.begin(), cellNodes.end());
        return nodes;
    }
    for (std::int64_t cx = firstX; cx <= lastX; ++cx) {
        for (std::int64_t cy = firstY; cy <= lastY; ++cy) {
            const auto cell = m_grid.find(Cell(cx, cy));
            if (cell != m_grid.end())
                nodes.insert(nodes.end(), cell->second.begin(), cell->second.end());
        }
    }
    return nodes;
}
