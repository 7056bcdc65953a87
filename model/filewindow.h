#pragma once

#include "model/binaryio.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Reads a file a block at a time for a loader that parses whole records out of Bytes(): when a
// record runs past the bytes read so far, the loader calls ReadMore() and parses the record
// again. One block, reused, stays in the processor's cache and spares the memory of the whole
// file. A file of no known size (a pipe) is read whole at Open.
class CFileWindow {
public:
    // blockSize: the bytes read at once, until one record needs more.
    explicit CFileWindow(std::size_t blockSize = std::size_t(1) << 20);
    ~CFileWindow();
    CFileWindow(const CFileWindow&) = delete;
    CFileWindow& operator=(const CFileWindow&) = delete;

    // Opens the file and reads its first block. Missing when it does not exist, Failed when
    // it exists but cannot be read.
    ReadResult Open(const std::string& path);

    // The bytes read and not yet consumed.
    std::string_view Bytes() const {
        return std::string_view(m_data.get() + m_begin, m_end - m_begin);
    }
    // Drops the first n bytes of Bytes() (n no more than its size).
    void Consume(std::size_t n) { m_begin += n; }
    // Keeps the bytes not consumed and reads more after them, growing the block when they fill
    // it. False at the end of the file or when reading fails (Failed() then tells).
    bool ReadMore();
    bool Failed() const { return m_failed; }
    // How many bytes of the file follow those consumed, by the size the file had at Open; a
    // bound for record counts read from it.
    std::size_t Remaining() const;

private:
    struct CFree {
        void operator()(char* data) const;
    };
    bool Grow(std::size_t capacity);

    int m_fd = -1;
    std::size_t m_blockSize;
    std::unique_ptr<char, CFree> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;          // first byte not consumed
    std::size_t m_end = 0;            // end of the bytes read
    std::size_t m_consumedBefore = 0; // bytes of the file dropped from the block's front
    std::size_t m_fileSize = 0;
    bool m_failed = false;
};
