// wayfold-store-memory FILE: loads a urls.wfx read-only in this fresh process and prints the
// heap the loaded store holds (mallinfo2) and the growth of the resident set, with the file
// size, as "file_bytes heap_bytes rss_bytes".
#include "model/sitedatabase.h"

#include <malloc.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {
long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

long HeapBytes() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wayfold-store-memory FILE\n");
        return 2;
    }
    struct stat info {};
    if (::stat(argv[1], &info) != 0) {
        std::fprintf(stderr, "wayfold-store-memory: cannot read %s\n", argv[1]);
        return 1;
    }
    const long heapBefore = HeapBytes();
    const long rssBefore = ResidentBytes();
    CSiteDatabase database;
    if (!database.OpenReadOnly(argv[1]))
        return 1;
    // The loader's buffers are gone by now; what is left is the store.
    ::malloc_trim(0);
    std::printf("%ld %ld %ld\n", static_cast<long>(info.st_size), HeapBytes() - heapBefore,
                ResidentBytes() - rssBefore);
    return 0;
}
