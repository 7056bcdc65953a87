#pragma once

class CSyntheticStore;

// The generated stores the benchmarks share, each made once per run at first use.
// The 100,000-site store of the categorizer and the file benchmarks.
CSyntheticStore& LargeStore();
// The path of LargeStore() written as urls.wfx in a private temporary folder.
const char* LargeStoreFile();
