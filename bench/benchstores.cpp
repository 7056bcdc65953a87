#include "bench/benchstores.h"

#include "bench/syntheticstore.h"
#include "model/sitedatabase.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
// A private folder under $TMPDIR (or /tmp), removed with everything in it at exit.
struct CScratchFolder {
    CScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = tmp && *tmp ? tmp : "/tmp";
        pattern += "/wayfold-bench-XXXXXX";
        if (const char* made = ::mkdtemp(pattern.data()))
            path = made;
    }
    ~CScratchFolder() {
        std::error_code error;
        if (!path.empty())
            std::filesystem::remove_all(path, error);
    }
    std::string path;
};

CScratchFolder& Scratch() {
    static CScratchFolder folder;
    return folder;
}
} // namespace

CSyntheticStore& LargeStore() {
    Scratch(); // made first, so removed after the store has written its file at exit
    static CSyntheticStore store{CStoreShape{}, std::filesystem::path(Scratch().path) / "urls.wfx"};
    return store;
}

const char* LargeStoreFile() {
    static const std::string path = [] {
        CSiteDatabase& database = LargeStore().Database();
        database.Save();
        // scripts/bench measures the memory of this file loaded in a process of its own.
        if (const char* keep = std::getenv("WAYFOLD_BENCH_KEEP_STORE"))
            std::filesystem::copy_file(database.FileName(), keep,
                                       std::filesystem::copy_options::overwrite_existing);
        return database.FileName();
    }();
    return path.c_str();
}
