#include "model/categorytree.h"

#include "model/binaryio.h"
#include "model/category.h"
#include "model/categoryfile.h"
#include "model/categoryindex.h"
#include "model/errorreport.h"
#include "model/site.h"
#include "model/textcase.h"

#include <set>
#include <sys/stat.h>

namespace {
bool FileExists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}
} // namespace

CCategoryTree::CCategoryTree() = default;

CCategoryTree::~CCategoryTree() {
    if (!m_fileName.empty())
        Save();
    // One slot at a time: a category being freed finds its slot already empty.
    for (auto& slot : m_slots)
        slot.reset();
}

bool CCategoryTree::Open(const std::string& fileName, const SiteResolver& resolver) {
    for (auto& slot : m_slots)
        slot.reset();
    m_slots.clear();
    m_ranking.clear();
    m_fileName = fileName;
    m_damaged = false;
    std::string bytes;
    switch (ReadWholeFile(fileName, bytes)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Failed:
        m_damaged = true;
        ShowError("Can't read the category file " + fileName +
                  ". It will be set aside before it is written again.");
        return false;
    case ReadResult::Ok:
        break;
    }
    CCategoryFile::Slots records;
    m_damaged = !CCategoryFile::Parse(bytes, records);
    m_slots.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i]) {
            m_slots.emplace_back();
            continue;
        }
        const CCategoryRecord& record = *records[i];
        auto category = std::make_unique<CCategory>(record.name);
        category->m_index = static_cast<std::int32_t>(i);
        category->m_tree = this;
        category->m_parent = record.parent;
        for (std::int32_t child : record.children)
            category->AddChild(child);
        for (const std::string& url : record.urls)
            if (CSite* site = resolver ? resolver(url) : nullptr)
                category->AddSite(site);
        for (const auto& [word, weight] : record.words)
            category->m_words.Add(ToUpperClassic(word), weight);
        m_slots.push_back(std::move(category));
    }
    RepairLinks();
    if (m_damaged)
        ShowError("The category file " + fileName +
                  " is damaged. The categories read before the damage are kept and the file "
                  "will be set aside before it is written again.");
    return !m_damaged;
}

// Parent and child indices must name categories: a file may name empty or missing slots.
void CCategoryTree::RepairLinks() {
    for (const auto& slot : m_slots) {
        if (!slot)
            continue;
        if (slot->m_parent == slot->m_index || (slot->m_parent >= 0 && !CategoryAt(slot->m_parent)))
            slot->m_parent = -1;
        for (std::int32_t child : slot->m_children.ActiveKeys())
            if (child == slot->m_index || !CategoryAt(child))
                slot->m_children.Remove(child);
    }
}

bool CCategoryTree::Save() {
    const std::string failure = "Can't write out memory of category events to " + m_fileName;
    if (m_damaged && FileExists(m_fileName)) {
        if (SetAsideDamagedFile(m_fileName).empty()) {
            ShowError(failure); // never write over a file that could not be read whole
            return false;
        }
    }
    m_damaged = false;
    CCategoryFile::Slots records(m_slots.size());
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        const CCategory* category = m_slots[i].get();
        if (!category)
            continue;
        CCategoryRecord& record = records[i].emplace();
        record.name = category->m_name;
        // A parent or child taken out of its slot and never put back is not written.
        const bool parentExists = category->m_parent >= 0 && CategoryAt(category->m_parent);
        record.parent = parentExists ? category->m_parent : -1;
        for (std::int32_t child : category->m_children.ActiveKeys())
            if (child != category->m_index && CategoryAt(child))
                record.children.push_back(child);
        for (const CSite* site : category->m_sites)
            record.urls.push_back(site->m_url);
        for (const auto& entry : category->m_words.Entries())
            record.words.emplace_back(entry.word, entry.weight);
    }
    CAtomicFile file;
    if (!file.Open(m_fileName) || !file.WriteBytes(CCategoryFile::Serialize(records)) ||
        !file.Commit()) {
        ShowError(failure);
        return false;
    }
    return true;
}

CCategory* CCategoryTree::CategoryAt(int index) const {
    if (index < 0 || index >= SlotCount())
        return nullptr;
    return m_slots[static_cast<std::size_t>(index)].get();
}

bool CCategoryTree::IsRegistered(const CCategory* category) const {
    if (!category)
        return false;
    for (const auto& slot : m_slots)
        if (slot.get() == category)
            return true;
    return false;
}

CCategory* CCategoryTree::Register(std::unique_ptr<CCategory> owned) {
    if (!owned)
        return nullptr;
    CCategory* category = owned.get();
    const std::int32_t former = category->m_formerIndex;
    const auto index = static_cast<std::int32_t>(m_slots.size());
    m_slots.push_back(std::move(owned));
    category->m_index = index;
    category->m_tree = this;
    category->m_formerIndex = -1;

    const bool comesBack = former >= 0 && former < index && !CategoryAt(former);
    if (comesBack) {
        for (const auto& slot : m_slots)
            if (slot && slot.get() != category && slot->m_parent == former)
                slot->m_parent = index;
    }
    for (CSite* site : category->m_sites) {
        if (comesBack) {
            site->m_categories.ReplaceKey(former, index);
            if (!site->m_categories.Contains(index))
                site->m_categories.Add(index, 1);
        } else {
            site->m_categories.Add(index, 1);
        }
    }
    return category;
}

std::unique_ptr<CCategory> CCategoryTree::TakeFromSlot(int index) {
    CCategory* category = CategoryAt(index);
    if (!category)
        return nullptr;
    if (CCategory* parent = category->Parent())
        parent->RemoveChild(index);
    auto owned = std::move(m_slots[static_cast<std::size_t>(index)]);
    category->m_formerIndex = index;
    category->m_index = -1;
    category->m_tree = nullptr;
    return owned;
}

bool CCategoryTree::Reparent(CCategory* category, int newParent) {
    if (!IsRegistered(category))
        return false;
    CCategory* target = nullptr;
    if (newParent >= 0) {
        target = CategoryAt(newParent);
        if (!target || IsInSubtree(*category, newParent))
            return false;
    }
    if (CCategory* oldParent = category->Parent())
        oldParent->RemoveChild(category->m_index);
    if (target)
        target->AddChild(category->m_index);
    category->m_parent = target ? newParent : -1;
    return true;
}

bool CCategoryTree::IsInSubtree(const CCategory& root, int index) const {
    if (root.m_index >= 0 && root.m_index == index)
        return true;
    std::set<std::int32_t> visited;
    std::vector<std::int32_t> pending = root.m_children.ActiveKeys();
    while (!pending.empty()) {
        const std::int32_t current = pending.back();
        pending.pop_back();
        if (current == index)
            return true;
        if (!visited.insert(current).second)
            continue;
        if (const CCategory* child = CategoryAt(current))
            for (std::int32_t grandchild : child->m_children.ActiveKeys())
                pending.push_back(grandchild);
    }
    return false;
}

void CCategoryTree::ForgetSite(CSite* site) {
    for (const auto& slot : m_slots)
        if (slot)
            while (slot->RemoveSite(site)) {
            }
}

void CCategoryTree::LetGoOf(CCategory* category) {
    const std::int32_t index = category->m_index;
    if (index >= 0 && index < SlotCount() &&
        m_slots[static_cast<std::size_t>(index)].get() == category)
        m_slots[static_cast<std::size_t>(index)].release();
}

CCategoryIndex& CCategoryTree::ScoreIndex() {
    if (!m_scoreIndex)
        m_scoreIndex = std::make_unique<CCategoryIndex>();
    return *m_scoreIndex;
}
