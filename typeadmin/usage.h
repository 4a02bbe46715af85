// What `typeadmin --help` prints, and the line a call it cannot understand gets.
#pragma once

constexpr char TYPEADMIN_USAGE_LINE[] =
    "Usage: typeadmin check | rooms | wordlist [--join] [FILE]\n";

constexpr char TYPEADMIN_USAGE[] =
    "Usage: typeadmin check | rooms | wordlist [--join] [FILE]\n"
    "The operator's look at the typing race's files, run in the server's working\n"
    "directory (the one holding frm/ and user/); it never writes there.\n"
    "  check     every problem the round programs, bigclock and typescore would\n"
    "            meet: directories, frm/typegame/data.txt, the word lists, the\n"
    "            fallback lists and the score ledgers, one FILE:LINE: line each;\n"
    "            status 1 if any\n"
    "  rooms     every answer file in frm/typegame/: its room and group, its age, and\n"
    "            whether a round is running, typerace would take it over, or it waits\n"
    "  wordlist  a word list on standard output from UTF-8 words, one a line, in FILE\n"
    "            or standard input: EUC-KR, each word after its stroke count; --join\n"
    "            removes the blanks inside a line (a proverb with its spaces)\n"
    "typeadmin --version prints the version. See typeadmin(1).\n";
