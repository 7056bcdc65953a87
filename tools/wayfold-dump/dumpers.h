#pragma once

#include <string>

class CJsonWriter;

// One dumper per kind of data file. Each reads the file with the program's own loader, never
// changes it, writes the JSON document for it and returns false when the file could not be
// read whole (the loader has then reported why through ShowError).
// `shownName` is the file name as the user gave it, for the "file" member.
bool DumpUrlDatabase(const std::string& path, const std::string& shownName, CJsonWriter& json);
bool DumpCategories(const std::string& path, const std::string& shownName, CJsonWriter& json);
bool DumpSiteFilters(const std::string& path, const std::string& shownName, CJsonWriter& json);
bool DumpStopWords(const std::string& path, const std::string& shownName, CJsonWriter& json);
// The URL database through which DumpCategories resolves the stored URLs (--urls). Without
// one, every stored URL is listed as read.
void SetCategoryUrlDatabase(const std::string& path);
