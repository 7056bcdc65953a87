#include "bench/htmlcorpus.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
std::string RustDocFolder() {
    std::array<char, 4096> buffer{};
    std::string sysroot;
    if (FILE* pipe = ::popen("rustc --print sysroot 2>/dev/null", "r")) {
        while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe))
            sysroot += buffer.data();
        ::pclose(pipe);
    }
    while (!sysroot.empty() && (sysroot.back() == '\n' || sysroot.back() == '\r'))
        sysroot.pop_back();
    if (!sysroot.empty())
        sysroot += "/share/doc/rust/html";
    return sysroot;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
} // namespace

CHtmlCorpus::CHtmlCorpus() {
    AddFilesUnder("/usr/share/doc");
    const std::string rust = RustDocFolder();
    if (!rust.empty())
        AddFilesUnder(rust);
    AddGeneratedPages();
}

void CHtmlCorpus::AddPage(const std::string& text) {
    m_pages.push_back(WithCrLf(text));
    m_bytes += m_pages.back().size();
}

void CHtmlCorpus::AddFilesUnder(const std::string& folder) {
    std::error_code error;
    if (m_bytes >= kTargetBytes || !std::filesystem::is_directory(folder, error))
        return;
    std::vector<std::string> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(
             folder, std::filesystem::directory_options::skip_permission_denied, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".html")
            paths.push_back(it->path().string());
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        if (m_bytes >= kTargetBytes)
            return;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (text.str().empty())
            continue;
        AddPage(text.str());
        ++m_foundFiles;
    }
}

void CHtmlCorpus::AddGeneratedPages() {
    for (int n = 0; m_bytes < kTargetBytes; ++n) {
        std::ostringstream page;
        page << "<html><head><title>Generated page " << n << "</title>\n"
             << "<meta name=\"keywords\" Content=\"alpha, beta, page" << n << "\">\n"
             << "</head><body>\n";
        for (int p = 0; p < 60; ++p) {
            page << "<p>Paragraph " << p << " of page " << n
                 << " has some plain words, an entity &amp; a <b>bold</b> part and a "
                 << "<a href=\"/section" << p << "/item" << n << ".html\">link to item " << p
                 << "</a> among the text.</p>\n";
        }
        page << "</body></html>\n";
        AddPage(page.str());
        ++m_generated;
    }
}
