#include "model/category.h"

#include "model/categorytree.h"
#include "model/site.h"

#include <algorithm>
#include <set>

CCategory::CCategory(std::string name) : m_name(std::move(name)) {}

CCategory::~CCategory() {
    if (m_tree && m_index >= 0)
        m_tree->LetGoOf(this);
}

std::unique_ptr<CCategory> CCategory::MakeCopy() const {
    auto copy = std::make_unique<CCategory>(m_name);
    copy->m_children = m_children;
    copy->m_sites = m_sites;
    copy->m_words = m_words;
    return copy;
}

void CCategory::AddSite(CSite* site) {
    if (!site)
        return;
    m_sites.push_back(site);
    if (m_index >= 0)
        site->m_categories.Add(m_index, 1);
}

bool CCategory::RemoveSite(CSite* site) {
    const auto found = std::find(m_sites.begin(), m_sites.end(), site);
    if (found == m_sites.end())
        return false;
    m_sites.erase(found);
    // A site put in twice stays recorded until its last occurrence goes.
    if (m_index >= 0 && !HoldsSite(site))
        site->m_categories.Remove(m_index);
    return true;
}

bool CCategory::HoldsSite(const CSite* site) const {
    return std::find(m_sites.begin(), m_sites.end(), site) != m_sites.end();
}

CCategory* CCategory::Parent() const {
    if (!m_tree || m_parent < 0)
        return nullptr;
    return m_tree->CategoryAt(m_parent);
}

std::string CCategory::PathName() const {
    std::string path = m_name;
    if (!m_tree)
        return path;
    // A file may hold a parent loop; every index is visited once at most.
    std::set<std::int32_t> visited{m_index};
    for (std::int32_t index = m_parent; index >= 0 && visited.insert(index).second;) {
        const CCategory* ancestor = m_tree->CategoryAt(index);
        if (!ancestor)
            break;
        path = ancestor->m_name + ":" + path;
        index = ancestor->m_parent;
    }
    return path;
}
