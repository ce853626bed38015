// Size reference: a GUI program that does nothing but what the setup does
// with C++ streams (read a line from a file, write one), linked as the setup
// is (statically, stripped). Its size is what the streams alone weigh.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::ifstream in("in.txt");
  std::string line;
  std::getline(in, line);
  std::ofstream out("out.txt");
  out << line << std::endl;
  MessageBoxA(NULL, line.c_str(), "size reference", MB_OK);
  return 0;
}
