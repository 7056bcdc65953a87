#include "model/filewindow.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileWindow::CFileWindow(std::size_t blockSize) : m_blockSize(blockSize < 64 ? 64 : blockSize) {}

CFileWindow::~CFileWindow() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void CFileWindow::CFree::operator()(char* data) const {
    std::free(data);
}

ReadResult CFileWindow::Open(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info;
    if (::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode) || !Grow(m_blockSize))
        return ReadResult::Failed;
    if (S_ISREG(info.st_mode)) {
        m_fileSize = static_cast<std::size_t>(info.st_size);
        ReadMore();
    } else {
        while (ReadMore()) {
        }
        m_fileSize = m_end;
    }
    return m_failed ? ReadResult::Failed : ReadResult::Ok;
}

bool CFileWindow::Grow(std::size_t capacity) {
    char* grown = static_cast<char*>(std::malloc(capacity));
    if (!grown)
        return false;
    if (m_end > m_begin)
        std::memcpy(grown, m_data.get() + m_begin, m_end - m_begin);
    m_consumedBefore += m_begin;
    m_end -= m_begin;
    m_begin = 0;
    m_data.reset(grown);
    m_capacity = capacity;
    return true;
}

bool CFileWindow::ReadMore() {
    if (m_fd < 0 || m_failed)
        return false;
    if (m_begin > 0) {
        std::memmove(m_data.get(), m_data.get() + m_begin, m_end - m_begin);
        m_consumedBefore += m_begin;
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_capacity && !Grow(m_capacity * 2)) {
        m_failed = true;
        return false;
    }
    bool added = false;
    while (m_end < m_capacity) {
        const ssize_t n = ::read(m_fd, m_data.get() + m_end, m_capacity - m_end);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_failed = true;
            return false;
        }
        if (n == 0)
            break;
        m_end += static_cast<std::size_t>(n);
        added = true;
    }
    return added;
}

std::size_t CFileWindow::Remaining() const {
    const std::size_t consumed = m_consumedBefore + m_begin;
    const std::size_t held = m_end - m_begin;
    const std::size_t bySize = m_fileSize > consumed ? m_fileSize - consumed : 0;
    return bySize > held ? bySize : held;
}
