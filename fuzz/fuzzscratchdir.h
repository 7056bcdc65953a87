#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A private folder for the fuzz targets whose readers take a file name: each input is written
// to a file there before the reader sees it. Made once per process (in shared memory when the
// system has it, so the many small writes stay cheap) and removed at exit. Error reports are
// silenced: a damaged file is the normal case while fuzzing.
class CFuzzScratchDir {
public:
    // The process's folder, made at the first call. Aborts when no folder can be made.
    static CFuzzScratchDir& Instance();

    // Writes the bytes to the file `name` in the folder (replacing it) and returns its path.
    std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    CFuzzScratchDir();
    ~CFuzzScratchDir();

    std::string m_path;
};
