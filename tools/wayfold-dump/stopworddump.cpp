#include "model/wordlist.h"
#include "tools/wayfold-dump/dumpers.h"
#include "tools/wayfold-dump/jsonwriter.h"

// The words as the program reads them (upper case, repeated lines counted), in file order.
bool DumpStopWords(const std::string& path, const std::string& shownName, CJsonWriter& json) {
    CWordList words;
    const bool whole = words.Open(path, CWordList::kUpperCase | CWordList::kPlainFormat);
    words.DetachFile();
    if (!whole)
        return false;
    json.BeginObject();
    json.Member("file", shownName);
    json.Key("words");
    json.BeginArray();
    for (const auto& entry : words.Entries()) {
        json.LineBreak();
        json.BeginObject();
        json.Member("word", entry.word);
        json.Member("count", entry.value);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return true;
}
