#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CBinaryReader;
class CFileWindow;
class CSite;
class CWordEntry;
struct CWordKey;

// The URL database: the visited sites in the order they were added, a URL map for look-ups
// and the word index. It owns every visited site and every word entry, and keeps urls.wfx.
class CSiteDatabase {
public:
    using SiteArray = std::vector<std::unique_ptr<CSite>>; // slots may be empty
    using WordMap = std::map<std::string, std::unique_ptr<CWordEntry>>;

    CSiteDatabase();
    // Saves to the file given to Open (unless opened read-only), then frees everything.
    ~CSiteDatabase();
    CSiteDatabase(const CSiteDatabase&) = delete;
    CSiteDatabase& operator=(const CSiteDatabase&) = delete;

    // Reads urls.wfx, replacing what the database held. A missing file gives an empty database
    // of version 1 and true. A file of another version or one that cannot be read whole is
    // reported through ShowError (what was read before the damage is kept), remembered as
    // damaged, and false is returned.
    bool Open(const std::string& fileName);
    // As Open, but the database never writes, renames or otherwise touches the file: Save()
    // does nothing and the destructor does not save. For tools that only look.
    bool OpenReadOnly(const std::string& fileName);
    // The bytes the loaders of every database read from a file at once (default 1 MiB, at
    // least 64). Tests and fuzzing set small blocks so that records span the blocks' edges.
    static void SetLoadBlockSize(std::size_t bytes);
    // Writes urls.wfx atomically; a file found damaged at Open is first set aside (renamed to
    // urls.wfx.damaged, numbered when that exists). False when nothing was written (reported
    // through ShowError; the old file is then left as it was).
    bool Save();

    CSite* FindSite(const std::string& url) const;
    int IndexOfSite(const std::string& url) const; // -1 when not a visited site
    // Appends the site and stores it in the URL map (a later site with the same URL replaces
    // the map entry). Returns the site.
    CSite* AddSite(std::unique_ptr<CSite> site);
    bool HasWord(const std::string& text) const;
    // None for texts shorter than 2 characters; a new entry gets a random position.
    CWordEntry* FindOrMakeWord(const std::string& text);
    // Takes a visited site or a link site (this very object) out of the database and hands it
    // to the caller; null when it is not found. A visited site is hidden, dropped from the URL
    // map and from every word entry (entries left without sites are freed); its m_words is
    // emptied, as those entries no longer refer to it.
    std::unique_ptr<CSite> RemoveSite(CSite* site);
    // Gives a site of the database a new URL and re-keys the URL map and every word entry's
    // m_sites to match. False (and nothing changed) when the site is not in the database.
    bool RekeySite(CSite* site, const std::string& newUrl);

    void SetModified() { m_modified = true; }
    bool IsModified() const { return m_modified; }

    const SiteArray& Sites() const { return m_sites; }
    const WordMap& Words() const { return m_words; }
    const std::map<std::string, CSite*>& UrlMap() const { return m_urlMap; }
    // The format version read from the file; 1 for a new database. Saving always writes 1.
    std::int32_t Version() const { return m_version; }
    const std::string& FileName() const { return m_fileName; }
    // True when the file given to Open could not be read whole.
    bool IsDamaged() const { return m_damaged; }

private:
    enum class LoadResult { Ok, WrongVersion, Damaged, ReadFailed };
    // What the loader keeps while it reads: a hash look-up of the word entries by text and the
    // entries each loaded site carries, for filling the entries' m_sites at the end.
    class CLoadState;

    bool OpenFile(const std::string& fileName, bool readOnly);
    void Clear();
    template <class Parse> static LoadResult ParseRecord(CFileWindow& file, Parse&& parse);
    LoadResult Load(CFileWindow& file);
    LoadResult LoadRecords(CFileWindow& file, CLoadState& state);
    void IndexLoadedSites(CLoadState& state);
    LoadResult LoadWords(CFileWindow& file, CLoadState& state);
    bool LoadSite(CBinaryReader& reader, CLoadState& state);
    // The entry number (and in `entry` the entry) of an upper-case text of 2 or more
    // characters, made when missing as FindOrMakeWord makes it.
    std::uint32_t FindOrMakeLoadedWord(const CWordKey& key, CLoadState& state, CWordEntry*& entry);
    void LoadSiteWords(CSite& site, CLoadState& state);
    static std::string_view UpperCopy(std::string_view word, CLoadState& state);
    // Renames the damaged file aside; asideName receives the new name (empty when there was
    // no file). False, reported, when the file is there and cannot be renamed.
    bool SetAsideDamagedFileBeforeSave(std::string& asideName);
    // The end of the damage message: what happens to the file at the next save.
    std::string SetAsideNotice() const;
    bool WriteFile();
    // Points the URL map entry for url at the last visited site in the array with that URL.
    void RestoreUrlMapEntry(const std::string& url);
    // Finds the slot holding this very site, or -1.
    int SlotOf(const CSite* site) const;

    SiteArray m_sites;
    std::map<std::string, CSite*> m_urlMap;
    WordMap m_words;
    std::string m_fileName;
    std::int32_t m_version = 1;
    bool m_modified = false;
    bool m_damaged = false;
    bool m_opened = false;
    bool m_readOnly = false;
};
