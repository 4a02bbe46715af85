// Unit tests of the starter work on relative paths, as the program does in the
// server's directory: this runs a test inside a scratch directory.
#pragma once

#include "harness.h"

using harness::InDir;
using harness::set_mtime;
