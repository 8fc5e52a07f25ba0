// The Windows entry point: a GUI program (no console) with a UTF-16
// command line, which the launcher does not read.
#include "launcher/launcher_main.h"
#include "platform/win32/win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return launcher_main(); }
