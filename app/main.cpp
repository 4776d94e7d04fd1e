#include <cstdio>
#include <exception>

#include "app/AppStartup.h"

int main(int argc, char** argv) {
    try {
        return RunDralvekOstrune(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dralvek-ostrune: start-up failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "dralvek-ostrune: start-up failed.\n");
    }
    return 1;
}
