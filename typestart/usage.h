// What `typestart --help` prints: the call, what it does and the files it uses.
#pragma once

constexpr char TYPESTART_USAGE[] =
    "Usage: typestart <unused> <group> <room> <word type>\n"
    "Starts a typing race in a chat room of the bulletin-board server: announces it,\n"
    "counts down and publishes a word; waiting and ranking are the server's.\n"
    "Started by the server in its working directory; the files, relative to it:\n"
    "  frm/typegame/data.txt                word types: <type> <seconds> <list file>\n"
    "  frm/typegame/<list file>             word list: <strokes> <word>\n"
    "  frm/typegame/taja.<room><group>      the answer file, written with the word\n"
    "  user/chat/rm_<NN>.all                the room's roster of terminals\n"
    "typestart --version prints the version. See typestart(1).\n";
