#include "BenchCommands.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2) {
        if (std::strcmp(argv[1], "scan") == 0) return morvo::bench::scanCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "search") == 0) return morvo::bench::searchCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "treemap") == 0) return morvo::bench::treemapCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "measure") == 0) return morvo::bench::measureCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "walk") == 0) return morvo::bench::walkCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "prepare") == 0) return morvo::bench::prepareCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "move") == 0) return morvo::bench::moveCommand(argc - 1, argv + 1);
        if (std::strcmp(argv[1], "plist") == 0) return morvo::bench::plistCommand(argc - 1, argv + 1);
    }
    std::fprintf(stderr,
                 "usage: morvo-bench scan [--max-nodes N] [--max-issues N] [--threads N] PATH\n"
                 "       morvo-bench search PATH QUERY [--repeat N]\n"
                 "       morvo-bench treemap --items N [--repeat R]\n"
                 "       morvo-bench measure [--max-items N] PATH\n"
                 "       morvo-bench walk [--threads N] PATH\n"
                 "       morvo-bench prepare N\n"
                 "       morvo-bench move N\n"
                 "       morvo-bench plist [--repeat N] FILE | --write KIND BYTES FILE\n");
    return 2;
}
