// The program's start: the exports of the command line without a window, else the window.
#pragma once

namespace seiseki {

int run(int argc, char* argv[]);

} // namespace seiseki
