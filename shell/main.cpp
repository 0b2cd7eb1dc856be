// Entry point of the tray program.
#include "shell/appstate.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    app.instance = instance;
    // The start-up sequence and the message loop are not part of the program yet.
    return 0;
}
