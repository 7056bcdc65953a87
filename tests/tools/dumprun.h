#pragma once

// Runs the built wayfold-dump (path in the WAYFOLD_DUMP compile definition) with its output
// caught in files of a test folder, which are removed again afterwards.

#include "tests/model/storetestfiles.h"

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

struct DumpRun {
    int status = -1; // the exit code, -1 when the tool did not start or did not exit
    std::string out, err;
};

inline DumpRun RunDump(const CTestFolder& folder, std::vector<std::string> args) {
    const std::string outPath = folder.File("stdout.txt"), errPath = folder.File("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    args.insert(args.begin(), WAYFOLD_DUMP);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    DumpRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, WAYFOLD_DUMP, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = FileBytes(outPath);
    run.err = FileBytes(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}
