#pragma once
// The subcommands of morvo-bench; each prints one JSON object and returns the exit code.

namespace morvo::bench {

int scanCommand(int argc, char** argv);      // morvo-bench scan [--max-nodes N] [--max-issues N] [--threads N] PATH
int searchCommand(int argc, char** argv);    // morvo-bench search PATH QUERY [--repeat N]
int treemapCommand(int argc, char** argv);   // morvo-bench treemap --items N [--repeat R]
int measureCommand(int argc, char** argv);   // morvo-bench measure [--max-items N] PATH
int walkCommand(int argc, char** argv);      // morvo-bench walk [--threads N] PATH
int prepareCommand(int argc, char** argv);   // morvo-bench prepare N
int moveCommand(int argc, char** argv);      // morvo-bench move N
int plistCommand(int argc, char** argv);     // morvo-bench plist [--repeat N] FILE | --write KIND BYTES FILE

} // namespace morvo::bench
