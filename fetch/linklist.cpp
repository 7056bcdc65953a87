#include "fetch/linklist.h"

void CLinkList::Add(std::string url, std::string text) {
    m_pairs.push_back(CLinkPair{std::move(url), std::move(text)});
}
