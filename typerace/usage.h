// What `typerace --help` prints: the call, what a round does and the files it uses.
#pragma once

constexpr char TYPERACE_USAGE[] =
    "Usage: typerace <unused> <group> <room> <word type>\n"
    "Plays one whole typing race round in a chat room of the bulletin-board server:\n"
    "announces it, counts down, publishes a word, waits the type's time limit, then\n"
    "ranks the finishers and appends them to the month's score ledger.\n"
    "Started by the server in its working directory; the files, relative to it:\n"
    "  frm/typegame/data.txt                word types: <type> <seconds> <list file>\n"
    "  frm/typegame/<list file>             word list: <strokes> <word>\n"
    "  frm/typegame/taja.<room><group>      the answer file, which claims the room\n"
    "  frm/typegame/chatmess.<room><group>  the finishers, written by the server\n"
    "  user/chat/rm_<NN>.all                the room's roster of terminals\n"
    "  user/score/type<yy><m>.dat           the month's score ledger\n"
    "typerace --version prints the version. See typerace(1).\n";
