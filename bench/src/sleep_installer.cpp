// An installer package that does nothing but take its time: it stays
// HB_INSTALLER_MS milliseconds (default 10000) and records when it started
// and ended, as wall-clock microseconds, in HB_BENCH_MARKS (a file path).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench_common.h"

namespace {

void Mark(const char* what) {
  const char* path = std::getenv("HB_BENCH_MARKS");
  if (path == NULL || *path == '\0') return;
  char line[64];
  const int length = std::snprintf(line, sizeof line, "%s %lld\r\n", what, bench::EpochUs());
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, NULL);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Mark("start");
  const char* stay = std::getenv("HB_INSTALLER_MS");
  Sleep(stay != NULL && *stay != '\0' ? std::strtoul(stay, NULL, 10) : 10000);
  Mark("end");
  return 0;
}
