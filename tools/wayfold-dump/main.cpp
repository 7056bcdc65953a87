// wayfold-dump: prints what Wayfold holds in one of its data files as JSON, so people can
// inspect, back up and export their map. It reads with the program's own loaders and never
// writes, renames or otherwise changes the file.

#include "model/errorreport.h"
#include "tools/wayfold-dump/dumpers.h"
#include "tools/wayfold-dump/jsonwriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {
using Dumper = bool (*)(const std::string& path, const std::string& shownName, CJsonWriter&);

struct FileKind {
    const char* fileName; // the data file's own name; also matches copies such as NAME.damaged
    Dumper dump;
};

// One line per kind of data file.
const FileKind kKinds[] = {
    {"urls.wfx", DumpUrlDatabase},
    {"cats.wfx", DumpCategories},
    {"filters.wfx", DumpSiteFilters},
    {"stop.wfx", DumpStopWords},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: wayfold-dump [--as KIND] [--urls URLS.WFX] FILE\n"
                      "Prints the contents of a Wayfold data file as JSON.\n"
                      "With cats.wfx, --urls resolves the stored URLs through a URL database.\n"
                      "The kind is taken from the file name unless --as names it (any other name\n"
                      "is read as urls.wfx); kinds:");
    for (const FileKind& kind : kKinds)
        std::fprintf(out, " %s", kind.fileName);
    std::fprintf(out, "\n");
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const FileKind* KindByName(const std::string& name) {
    for (const FileKind& kind : kKinds) {
        if (name.rfind(kind.fileName, 0) == 0)
            return &kind;
    }
    return nullptr;
}
} // namespace

int main(int argc, char** argv) {
    SetErrorHandler([](const std::string& text, bool) {
        std::fprintf(stderr, "wayfold-dump: %s\n", text.c_str());
    });

    std::string path, kindName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--as" && i + 1 < argc) {
            kindName = argv[++i];
        } else if (arg == "--urls" && i + 1 < argc) {
            SetCategoryUrlDatabase(argv[++i]);
        } else if (path.empty() && (arg.empty() || arg[0] != '-' || arg == "-")) {
            path = arg;
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (path.empty()) {
        PrintUsage(stderr);
        return 2;
    }

    // A file whose name names no kind is read as a URL database (a backup under another name).
    const FileKind* kind = KindByName(kindName.empty() ? BaseName(path) : kindName);
    if (!kind && !kindName.empty()) {
        std::fprintf(stderr, "wayfold-dump: unknown kind %s\n", kindName.c_str());
        PrintUsage(stderr);
        return 2;
    }
    if (!kind)
        kind = &kKinds[0];
    // The loaders take a missing file for an empty one; here it is a mistake worth telling.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "wayfold-dump: %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }

    CJsonWriter json(stdout);
    if (!kind->dump(path, path, json))
        return 1;
    if (!json.Finish()) {
        std::fprintf(stderr, "wayfold-dump: can't write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
