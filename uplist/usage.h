// What `uplist --help` prints: the call, what it does and the directory it lists.
#pragma once

constexpr char UPLIST_USAGE[] =
    "Usage: uplist <user id> <unused> <unused> <unused> <area code>\n"
    "Prints the long listing (ls -l) of a user's auto-upload directory,\n"
    "  user/autoup/<area code>/data/<user id>/\n"
    "relative to the bulletin-board server's working directory, where the server\n"
    "starts it. Names that would leave that directory list nothing.\n"
    "uplist --version prints the version. See uplist(1).\n";
