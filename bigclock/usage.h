// What `bigclock --help` prints: the call, what it does and the files it looks at.
#pragma once

constexpr char BIGCLOCK_USAGE[] =
    "Usage: bigclock\n"
    "Draws today's date and the time of day in block digits on the user's terminal\n"
    "(standard output, EUC-KR), once. Started by the server in its working directory;\n"
    "other arguments are ignored.\n"
    "  user/   the date is drawn when this directory can be read\n"
    "  bin/    the time is drawn when this directory can be read\n"
    "bigclock --version prints the version. See bigclock(1).\n";
