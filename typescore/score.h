// typescore from its command line to its exit status, apart from --help and --version.
#pragma once

#include <cstdio>

// 0 when all went well; 1 when a ledger could not be read, the output could not be
// written, or --check found lines that do not read; 2 for a call not understood.
int run_typescore(int argc, char** argv, std::FILE* out, std::FILE* err);
