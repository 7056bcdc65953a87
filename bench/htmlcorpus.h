#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The pages the scanner benchmark reads: every .html file under /usr/share/doc, then the Rust
// toolchain's share/doc/rust/html (found through `rustc --print sysroot`), in path order, up
// to 50 MB; generated pages make up the rest where a machine has fewer. Every line ends in
// CR LF, as the fetch worker delivers pages.
class CHtmlCorpus {
public:
    static constexpr std::size_t kTargetBytes = 50u * 1024u * 1024u;

    CHtmlCorpus();

    const std::vector<std::string>& Pages() const { return m_pages; }
    std::size_t Bytes() const { return m_bytes; }
    std::size_t FoundFiles() const { return m_foundFiles; }
    std::size_t GeneratedPages() const { return m_generated; }

private:
    void AddFilesUnder(const std::string& folder);
    void AddPage(const std::string& text);
    void AddGeneratedPages();

    std::vector<std::string> m_pages;
    std::size_t m_bytes = 0;
    std::size_t m_foundFiles = 0;
    std::size_t m_generated = 0;
};
