// Registered as the "open" command of .vbs files in the benchmark's prefix:
// the setup's shortcut script is handed to it and nothing is run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
