#include "BenchCommands.h"

#include <cstdio>

namespace morvo::bench {
int scanCommand(int, char**) {
    std::fprintf(stderr, "scan: not built yet\n");
    return 2;
}
} // namespace morvo::bench
