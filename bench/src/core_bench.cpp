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
#include <windows.h>
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

// The setup's user-interface thread in miniature: a shown window with the
// progress list, pumping messages, so that the worker's lines cross threads.
DWORD WINAPI ProgressWindowThread(LPVOID ready) {
  hwndMain = CreateWindowExA(0, "Static", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 450, 290, NULL, NULL, NULL, NULL);
  hwndProgressList = CreateWindowExA(0, "ListBox", NULL, WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                                     10, 10, 425, 160, hwndMain, NULL, NULL, NULL);
  SetEvent(static_cast<HANDLE>(ready));
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

void StartProgressWindow() {
  HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
  HANDLE thread = CreateThread(NULL, 0, ProgressWindowThread, ready, 0, NULL);
  WaitForSingleObject(ready, 10000);
  CloseHandle(ready);
  CloseHandle(thread);
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
  StartProgressWindow();
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
  std::fprintf(stderr,
               "usage: hb-core-bench langload <file.lng> <count>\n"
               "       hb-core-bench packages core|steps <manifest.ini> <updates.ini>\n"
               "       hb-core-bench rmdir <path>\n");
  return 2;
}
