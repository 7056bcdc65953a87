#pragma once

#include <string_view>
#include <vector>

class CWordList;

// The common English words a fresh stop list starts with, in lower case as published.
const std::vector<std::string_view>& CommonStopWords();

// Adds every common stop word to the list, in upper case as the stop list holds its words.
void AddCommonStopWords(CWordList& list);
