#include "fetch/localpage.h"

#include "fetch/pagetext.h"
#include "fetch/urlsplitter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Builds the result in a fresh string: one pass, and no in-place replace that GCC 12 warns
// about with -Wrestrict at -O2.
void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty())
        return;
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, start)) {
        result.append(text, start, pos - start);
        result.append(with);
        start = pos + what.size();
    }
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

bool IsRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string LocalPagePath(std::string_view url) {
    std::string path = CUrlSplitter(url).Path();
    ReplaceAll(path, "%20", " ");
    ReplaceAll(path, "|", ":");
    const std::size_t firstKept = path.find_first_not_of('\\');
    path.erase(0, firstKept == std::string::npos ? path.size() : firstKept);
    return path;
}

std::optional<std::string> ReadLocalPage(const std::string& path, std::size_t maxBytes) {
    if (path.empty())
        return std::nullopt;
    // Non-blocking open so that a FIFO cannot hold the worker before the type check.
    const CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0 || !IsRegularFile(file.Get()))
        return std::nullopt;
    CPageText page(maxBytes);
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !page.Append(std::string_view(buffer, static_cast<std::size_t>(got))))
            break;
    }
    return page.Finish();
}
