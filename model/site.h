#pragma once

#include "model/indextally.h"
#include "model/rect.h"
#include "model/refmap.h"
#include "model/wordentry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One visited page (m_visited 1), or one link target seen on a visited page (m_visited 0).
// A visited site owns its link sites; word entries and sites refer to each other without owning.
class CSite {
public:
    // time 0 means now. `unused` is stored and never read, as the record has always had it.
    // The position is drawn at random over the 2000 x 2000 map.
    CSite(std::string url, std::string title, std::string annotation, std::int32_t visited,
          std::int32_t time = 0, std::int32_t unused = 0);
    ~CSite();
    CSite(const CSite&) = delete;
    CSite& operator=(const CSite&) = delete;

    // Stores the entry under its text, or raises its m_count when the text is already there.
    void AddWord(CWordEntry* entry);
    // Appends the link site (owned from now on) unless the same object is already there;
    // returns it.
    CSite* AddLink(std::unique_ptr<CSite> link);
    void Hide() { m_hidden = 1; }
    void Show() { m_hidden = 0; }

    // Dot diameter on the linkage map: 20 for a visited site, 15 for a link site.
    int Diameter() const { return m_visited ? 20 : 15; }
    CRect NodeBounds() const;
    // Strictly inside the dot's square.
    bool HitTest(int px, int py) const;
    CPoint Center() const;
    // Title and annotation split into upper-case words of 2 or more letters ("NONE" is not an
    // annotation word).
    std::vector<std::string> TitleWords() const;
    std::vector<std::string> AnnotationWords() const;

    // Sets m_time (now when 0).
    void SetTime(std::int32_t time);
    // m_time as "%c" of the classic C locale (the date line of the label), made when asked:
    // two million link sites need not each keep their own copy.
    std::string TimeText() const;
    // The same text for any time (seconds since 1970); safe on any thread.
    static std::string TimeTextOf(std::int32_t time);

    // upper-case text -> entry (visited sites only), in text order; the key is the entry's
    // m_text
    CRefMap<CWordEntry, CWordTextKey> m_words;
    std::int32_t m_hidden = 0;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_time = 0;
    // The small fields sit together: two million link sites make every padding byte count.
    std::int32_t m_visited = 0;
    std::int32_t m_unused = 0;
    bool m_selected = false;
    double m_vx = 0.0;
    double m_vy = 0.0;
    std::string m_annotation;
    std::string m_url;
    std::string m_title;
    CIndexTally m_categories;
    std::vector<std::unique_ptr<CSite>> m_links; // slots may be empty; walks skip them
};
