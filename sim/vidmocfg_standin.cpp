// Stand-in for the display-mode tool VidmoCFG.EXE: logs its arguments ("VIDMO <arguments>") and ends.
#include "sim/simstate.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    simLog("VIDMO %s", commandLine);
    return 0;
}
