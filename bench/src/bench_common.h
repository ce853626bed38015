#pragma once
// Clocks and output shared by the benchmark programs. Every result is a
// "key=value" line on stdout, read by bench/bench.py.
#include <windows.h>

#include <cstdio>
#include <string>

namespace bench {

// Milliseconds on the performance counter.
inline double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Wall-clock microseconds since 1970, the clock the Linux side samples with.
inline long long EpochUs() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<long long>((ticks - 116444736000000000ULL) / 10);
}

inline void Print(const char* key, double value) {
  std::printf("%s=%.3f\n", key, value);
  std::fflush(stdout);
}

inline void PrintInt(const char* key, long long value) {
  std::printf("%s=%lld\n", key, value);
  std::fflush(stdout);
}

inline void PrintText(const char* key, const std::string& value) {
  std::printf("%s=%s\n", key, value.c_str());
  std::fflush(stdout);
}

inline int Fail(const std::string& why) {
  PrintText("error", why);
  return 1;
}

}  // namespace bench
