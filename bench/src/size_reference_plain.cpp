// Size reference: a GUI program with one message box and no C++ library,
// linked as the setup is (statically, stripped).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(NULL, "size reference", "size reference", MB_OK);
  return 0;
}
