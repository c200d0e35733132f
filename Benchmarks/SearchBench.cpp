#include "BenchCommands.h"

#include <cstdio>

namespace morvo::bench {
int searchCommand(int, char**) {
    std::fprintf(stderr, "search: not built yet\n");
    return 2;
}
int treemapCommand(int, char**) {
    std::fprintf(stderr, "treemap: not built yet\n");
    return 2;
}
} // namespace morvo::bench
