// The setup's own code and the platform calls under it, timed inside Wine:
//
//   hb-core-bench langload <file.lng> <count>
//       LoadLanguageTexts <count> times; time per load.
//   hb-core-bench packages core|steps <manifest.ini> <updates.ini>
//       works through the manifest's file packages as the installation run
//       does, with the progress lines going to a list box owned by another
//       thread. "core" times the setup's own DownloadFile per package;
//       "steps" times each call that DownloadFile makes on its own.
//   hb-core-bench rmdir <path>
//       the removal command run through the C run-time's system().
//   hb-core-bench waitloop <installer.exe> <stay-ms> <pause-ms>...
//       starts the installer as the installation run does (hidden, from the
//       options folder's place, here C:\bench) and waits until its program
//       file can be deleted: first with the setup's WaitUntilRemoved, then
//       with the same loop pausing <pause-ms> between attempts. For each
//       wait: this process's CPU as a share of one core, and the wall time.
//   hb-core-bench progress <count>
//       AppendProgressLine <count> times to a list box of another thread,
//       shown and hidden, against the bare cross-thread SendMessage.
#include <windows.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_common.h"
#include "files/file_primitives.h"
#include "lang/language_file.h"
#include "shell/main_window.h"
#include "shell/shared_ui.h"

namespace {

// The same binding as the setup's download asks for: newest version, no
// cache write, and the HTTP status through IHttpNegotiate.
class BindWatcher : public IBindStatusCallback, public IHttpNegotiate {
 public:
  DWORD statusCode = 0;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == NULL) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *ppv = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
      *ppv = static_cast<IHttpNegotiate*>(this);
    } else {
      *ppv = NULL;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO*) override {
    *grfBINDF = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override {
    if (extra != NULL) *extra = NULL;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override {
    statusCode = code;
    if (extra != NULL) *extra = NULL;
    return S_OK;
  }
};

// Per-step times of every package, in the order the steps first ran.
class StepTimes {
 public:
  void Add(const std::string& step, double ms) {
    if (times_.find(step) == times_.end()) order_.push_back(step);
    times_[step].push_back(ms);
  }
  void Print() const {
    for (const std::string& step : order_) {
      std::vector<double> values = times_.at(step);
      double sum = 0;
      for (double v : values) sum += v;
      std::sort(values.begin(), values.end());
      std::printf("step=%s total_ms=%.3f mean_ms=%.3f median_ms=%.3f max_ms=%.3f\n", step.c_str(), sum,
                  sum / values.size(), values[values.size() / 2], values.back());
    }
    std::fflush(stdout);
  }

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<double>> times_;
};

template <typename Step>
void Timed(StepTimes& times, const char* name, Step step) {
  const double start = bench::NowMs();
  step();
  times.Add(name, bench::NowMs() - start);
}

// The setup's user-interface thread in miniature: its main window with the
// progress list made and shown as the setup makes and shows them, pumping
// messages, so that the worker's lines cross threads.
DWORD WINAPI ProgressWindowThread(LPVOID ready) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.hbrBackground = hbrBackground;
  wc.lpszClassName = "HbBenchProgress";
  RegisterClassA(&wc);
  hwndMain = CreateWindowExA(0, "HbBenchProgress", "bench", WS_CAPTION, 0, 0, MainWindowWidth, MainWindowHeight, NULL,
                             NULL, wc.hInstance, NULL);
  ShowWindow(hwndMain, SW_SHOWNORMAL);
  hwndProgressList = CreateControl(hwndMain, "ListBox", NULL,
                                   WS_CHILD | WS_DISABLED | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 10, 10,
                                   425, 160, 0);
  ShowWindow(hwndProgressList, SW_SHOWNORMAL);
  SetEvent(static_cast<HANDLE>(ready));
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

// The first window of a new prefix waits for Wine's desktop: seconds.
bool StartProgressWindow() {
  HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
  HANDLE thread = CreateThread(NULL, 0, ProgressWindowThread, ready, 0, NULL);
  const bool bReady = WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0 && hwndProgressList != NULL;
  CloseHandle(ready);
  CloseHandle(thread);
  return bReady;
}

struct Package {
  char section[100];
  char name[50];
  char install[260];
  char netlink[1000];
  char showname[50];
  char date[20];
};

bool ReadPackage(const char* manifest, int position, Package& package) {
  char key[12];
  std::snprintf(key, sizeof key, "%d", position);
  GetPrivateProfileStringA("LIST", key, "end", package.section, sizeof package.section, manifest);
  if (_stricmp(package.section, "end") == 0) return false;
  GetPrivateProfileStringA(package.section, "name", "0", package.name, sizeof package.name, manifest);
  GetPrivateProfileStringA(package.section, "install", "0", package.install, sizeof package.install, manifest);
  GetPrivateProfileStringA(package.section, "netlink", "0", package.netlink, sizeof package.netlink, manifest);
  GetPrivateProfileStringA(package.section, "showname", "0", package.showname, sizeof package.showname, manifest);
  GetPrivateProfileStringA(package.section, "date", "0", package.date, sizeof package.date, manifest);
  return true;
}

int Packages(const std::string& mode, const char* manifest, const char* updatesIni) {
  if (mode != "core" && mode != "steps") return bench::Fail("mode must be core or steps");
  if (!StartProgressWindow()) return bench::Fail("no progress list");
  // The setup has fetched its manifests and the language file from the same
  // server before its first package: one untimed download does the same here
  // (libraries loaded, connection and TLS session up).
  Package first;
  if (ReadPackage(manifest, 0, first)) {
    const char warmUp[] = "C:\\bench\\warm-up.bin";
    DownloadFile(first.netlink, warmUp);
    RemoveUntilGone(warmUp);
  }
  StepTimes times;
  int count = 0, failures = 0;
  const double start = bench::NowMs();
  for (int position = 0;; ++position) {
    Package package;
    bool more = false;
    Timed(times, "manifest_reads", [&] { more = ReadPackage(manifest, position, package); });
    if (!more) break;
    ++count;
    Timed(times, "progress_lines", [&] {
      AppendProgressLine(package.showname);
      AppendProgressLine("Downloading...");
    });
    if (mode == "core") {
      bool ok = false;
      Timed(times, "download_file", [&] { ok = DownloadFile(package.netlink, package.install); });
      if (!ok) ++failures;
    } else {
      Timed(times, "remove_old_copy", [&] { RemoveUntilGone(package.install); });
      Timed(times, "delete_cache_entry", [&] { DeleteUrlCacheEntryA(package.netlink); });
      BindWatcher watcher;
      HRESULT hr = E_FAIL;
      Timed(times, "urldownloadtofile",
            [&] { hr = URLDownloadToFileA(NULL, package.netlink, package.install, 0, &watcher); });
      WIN32_FILE_ATTRIBUTE_DATA data;
      BOOL present = FALSE;
      Timed(times, "size_check",
            [&] { present = GetFileAttributesExA(package.install, GetFileExInfoStandard, &data); });
      if (hr != S_OK || watcher.statusCode != 200 || !present) ++failures;
    }
    Timed(times, "record_in_updates_ini",
          [&] { WritePrivateProfileStringA("DATE", package.name, package.date, updatesIni); });
    Timed(times, "progress_lines", [&] { AppendProgressLine("Succeed"); });
  }
  bench::Print("total_ms", bench::NowMs() - start);
  bench::PrintInt("packages", count);
  bench::PrintInt("failures", failures);
  times.Print();
  return failures == 0 ? 0 : 1;
}

double OwnCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](const FILETIME& ft) {
    return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

int WaitLoop(const char* installer, const char* stayMs, const std::vector<int>& pauses) {
  const char copy[] = "C:\\bench\\wait_installer.exe";
  SetEnvironmentVariableA("HB_INSTALLER_MS", stayMs);
  SetEnvironmentVariableA("HB_BENCH_MARKS", NULL);
  for (int pause : pauses) {
    if (!CopyFileA(installer, copy, FALSE)) return bench::Fail("cannot copy the installer");
    ShellExecuteA(NULL, "open", copy, "INSTALL", NULL, SW_HIDE);
    const double cpuStart = OwnCpuMs();
    const double start = bench::NowMs();
    if (pause == 0) {
      WaitUntilRemoved(copy);
    } else {
      while (FileExists(copy)) {
        remove(copy);
        if (!FileExists(copy)) break;
        Sleep(static_cast<DWORD>(pause));
      }
    }
    const double wall = bench::NowMs() - start;
    std::printf("wait pause_ms=%d cpu_pct=%.3f wall_ms=%.1f\n", pause == 0 ? static_cast<int>(RemoveRetryPauseMs) : pause,
                100.0 * (OwnCpuMs() - cpuStart) / wall, wall);
    std::fflush(stdout);
  }
  return 0;
}

// Time per call of each way of reaching the other thread's list box.
int ProgressLines(int count) {
  if (!StartProgressWindow()) return bench::Fail("no progress list");
  const auto perCall = [count](auto call) {
    const double start = bench::NowMs();
    for (int i = 0; i < count; ++i) call();
    return (bench::NowMs() - start) / count;
  };
  bench::Print("sendmessage_null_ms", perCall([] { SendMessageA(hwndProgressList, WM_NULL, 0, 0); }));
  bench::Print("addstring_ms", perCall([] { SendMessageA(hwndProgressList, LB_ADDSTRING, 0, (LPARAM) "line"); }));
  SendMessageA(hwndProgressList, LB_RESETCONTENT, 0, 0);
  bench::Print("append_line_shown_ms", perCall([] { AppendProgressLine("Downloading..."); }));
  SendMessageA(hwndProgressList, LB_RESETCONTENT, 0, 0);
  ShowWindow(hwndMain, SW_HIDE);
  bench::Print("append_line_hidden_ms", perCall([] { AppendProgressLine("Downloading..."); }));
  return 0;
}

int LanguageLoad(const char* file, int count) {
  const double start = bench::NowMs();
  for (int i = 0; i < count; ++i) LoadLanguageTexts(file);
  const double elapsed = bench::NowMs() - start;
  // A load that found nothing would time only the misses.
  if (count > 0 && std::strcmp(SlotText("SP#exist"), "SP#exist") == 0) return bench::Fail("SP#exist not found");
  bench::Print("per_load_us", count > 0 ? elapsed * 1000.0 / count : 0);
  return 0;
}

int RemoveDirectoryTree(const std::string& path) {
  const std::string command = "rmdir /s /q " + path;
  const double start = bench::NowMs();
  system(command.c_str());
  bench::Print("rmdir_ms", bench::NowMs() - start);
  if (FileExists(path.c_str())) return bench::Fail(path + " is still there");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "langload") return LanguageLoad(args[1].c_str(), std::atoi(args[2].c_str()));
  if (args.size() == 4 && args[0] == "packages") return Packages(args[1], args[2].c_str(), args[3].c_str());
  if (args.size() == 2 && args[0] == "rmdir") return RemoveDirectoryTree(args[1]);
  if (args.size() >= 3 && args[0] == "waitloop") {
    std::vector<int> pauses = {0};
    for (size_t i = 3; i < args.size(); ++i) pauses.push_back(std::atoi(args[i].c_str()));
    return WaitLoop(args[1].c_str(), args[2].c_str(), pauses);
  }
  if (args.size() == 2 && args[0] == "progress") return ProgressLines(std::atoi(args[1].c_str()));
  std::fprintf(stderr,
               "usage: hb-core-bench langload <file.lng> <count>\n"
               "       hb-core-bench packages core|steps <manifest.ini> <updates.ini>\n"
               "       hb-core-bench rmdir <path>\n"
               "       hb-core-bench waitloop <installer.exe> <stay-ms> <pause-ms>...\n"
               "       hb-core-bench progress <count>\n");
  return 2;
}
