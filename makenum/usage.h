// What `makenum --help` prints: what it does and the files it writes.
#pragma once

constexpr char MAKENUM_USAGE[] =
    "Usage: makenum\n"
    "Run in the server's source directory at every build: adds one to the build\n"
    "number in makenum.h and stamps the build date into it, then prints both.\n"
    "Every 30th build it copies *.c and *.h into bkYYMMDD/. Any arguments are\n"
    "ignored.\n"
    "  makenum.h    read and rewritten\n"
    "  bkYYMMDD/    the snapshot of the sources\n"
    "makenum --version prints the version. See makenum(1).\n";
