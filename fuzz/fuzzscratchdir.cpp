#include "fuzz/fuzzscratchdir.h"

#include "model/errorreport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

CFuzzScratchDir& CFuzzScratchDir::Instance() {
    static CFuzzScratchDir dir;
    return dir;
}

CFuzzScratchDir::CFuzzScratchDir() {
    SetErrorHandler([](const std::string&, bool) {});
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base ? base : "/tmp") + "/wayfold-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("wayfold fuzz: mkdtemp");
        std::abort();
    }
    m_path = pattern;
}

CFuzzScratchDir::~CFuzzScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string CFuzzScratchDir::WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "wayfold fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}
