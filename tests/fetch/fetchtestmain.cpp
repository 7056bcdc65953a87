#include "fetch/fetchworker.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The fetch tests talk to loopback servers only; a proxy configured for the developer's own
// shell must not get in between (tests that want one set it themselves).
int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        ::unsetenv(name);
    ::testing::InitGoogleTest(&argc, argv);
    if (!InitFetchLibrary()) {
        std::fprintf(stderr, "libcurl cannot be initialised\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
