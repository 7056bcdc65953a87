#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CSite;
class CWordEntry;

// The URL database: the visited sites in the order they were added, a URL map for look-ups
// and the word index. It owns every visited site and every word entry, and keeps urls.wfx.
class CSiteDatabase {
public:
    using SiteArray = std::vector<std::unique_ptr<CSite>>; // slots may be empty
    using WordMap = std::map<std::string, std::unique_ptr<CWordEntry>>;

    CSiteDatabase();
    // Saves to the file given to Open (when Open was called), then frees everything.
    ~CSiteDatabase();
    CSiteDatabase(const CSiteDatabase&) = delete;
    CSiteDatabase& operator=(const CSiteDatabase&) = delete;

    // Reads urls.wfx. A missing file gives an empty database of version 1 and true. A file of
    // another version or one that cannot be read whole is reported through ShowError (what was
    // read before the damage is kept), remembered as damaged, and false is returned.
    bool Open(const std::string& fileName);
    // Writes urls.wfx atomically; a file found damaged at Open is first set aside. False when
    // the file could not be written (reported through ShowError).
    bool Save();

    CSite* FindSite(const std::string& url) const;
    int IndexOfSite(const std::string& url) const; // -1 when not a visited site
    // Appends the site and stores it in the URL map (a later site with the same URL replaces
    // the map entry). Returns the site.
    CSite* AddSite(std::unique_ptr<CSite> site);
    bool HasWord(const std::string& text) const;
    // None for texts shorter than 2 characters; a new entry gets a random position.
    CWordEntry* FindOrMakeWord(const std::string& text);
    // Takes a visited site or a link site out of the database and hands it to the caller;
    // null when it is not found.
    std::unique_ptr<CSite> RemoveSite(CSite* site);

    void SetModified() { m_modified = true; }
    bool IsModified() const { return m_modified; }

    const SiteArray& Sites() const { return m_sites; }
    const WordMap& Words() const { return m_words; }
    const std::map<std::string, CSite*>& UrlMap() const { return m_urlMap; }
    std::int32_t Version() const { return m_version; }
    const std::string& FileName() const { return m_fileName; }

private:
    SiteArray m_sites;
    std::map<std::string, CSite*> m_urlMap;
    WordMap m_words;
    std::string m_fileName;
    std::int32_t m_version = 1;
    bool m_modified = false;
    bool m_damaged = false;
};
