#pragma once

#include <string>
#include <vector>

// Codes of a program start, as the launch error messages know them.
enum ELaunchCode : int {
    kLaunchOutOfMemory = 0,
    kLaunchFileNotFound = 2,
    kLaunchPathNotFound = 3,
    kLaunchBadFormat = 11,
    kLaunchStarted = 33, // anything above 31 is success
};

// Finds the program file the way exec would: a name with a '/' is taken as a path (relative
// to the current directory), a bare name is looked up in $PATH. On success fills `resolved`
// and returns kLaunchStarted; otherwise returns kLaunchFileNotFound (nothing there),
// kLaunchPathNotFound (an element of the path is not a folder, or cannot be searched) or
// kLaunchBadFormat (there, but not an executable regular file).
int ResolveProgram(const std::string& program, std::string& resolved);

// Starts `words[0]` with the rest of `words` and then `lastArgument` as its arguments,
// detached, without a shell. Returns kLaunchStarted or the failure code of ResolveProgram
// (kLaunchFileNotFound for no words; kLaunchBadFormat when the system refuses to run it).
int StartProgram(const std::vector<std::string>& words, const std::string& lastArgument);
