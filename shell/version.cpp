#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "shell/main_window.h"

bool IsWindowsVersionAtLeast(const char* required) {
  OSVERSIONINFOA osviVersionInfo;
  memset(&osviVersionInfo, 0, sizeof osviVersionInfo);
  osviVersionInfo.dwOSVersionInfoSize = sizeof osviVersionInfo;
  // A failed query leaves 0.0, which no required version accepts.
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  GetVersionExA(&osviVersionInfo);

  // Numbers, not texts: "10.0" sorts before "5.1" as text.
  char* afterMajor = NULL;
  const unsigned long requiredMajor = strtoul(required, &afterMajor, 10);
  const unsigned long requiredMinor = *afterMajor == '.' ? strtoul(afterMajor + 1, NULL, 10) : 0;
  if (osviVersionInfo.dwMajorVersion != requiredMajor) return osviVersionInfo.dwMajorVersion > requiredMajor;
  return osviVersionInfo.dwMinorVersion >= requiredMinor;
}
