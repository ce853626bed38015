// Times the setup from outside, the way a user meets it:
//
//   hb-bench startup <exe> <class> <title>
//       process start to its main window visible; the program is then ended.
//   hb-bench install <setup.exe> [poll-ms]
//       chooses the first language, then Install click to the closing
//       question; answers No.
//   hb-bench uninstall <setup.exe>
//       on the maintenance screen: Yes to the removal question until the
//       success message appears; answers OK.
//   hb-bench hold
//       stays until it is ended. Wine ends its desktop and services a moment
//       after the last program of a prefix has ended, and starting them again
//       takes seconds; while this runs, every start finds them up, as on
//       Windows.
//
// Results are key=value lines.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "ui_driver.h"

namespace {

constexpr char SetupName[] = "Hollowbranch - Setup";  // class, title and caption
constexpr int LanguageBoxId = 30;
constexpr int InstallButtonId = 10;
constexpr int UninstallButtonId = 22;
constexpr int WindowWaitMs = 60000;
constexpr int RunWaitMs = 600000;
constexpr int ExitWaitMs = 30000;

double FileTimeMs(const FILETIME& ft) {
  const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<double>(ticks) / 10000.0;
}

// User plus kernel time as the system reports it for another process.
double CpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

long long PeakWorkingSet(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process == NULL) return -1;
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  const BOOL ok = GetProcessMemoryInfo(process, &counters, sizeof counters);
  CloseHandle(process);
  return ok ? static_cast<long long>(counters.PeakWorkingSetSize) : -1;
}

// Visible message boxes of the process that are not in `seen`.
std::vector<HWND> NewBoxes(DWORD processId, const std::vector<HWND>& seen) {
  std::vector<HWND> boxes;
  for (HWND box : ui::FindTopLevelWindows(processId, ui::WindowQuery{"#32770", "", true})) {
    if (std::find(seen.begin(), seen.end(), box) == seen.end()) boxes.push_back(box);
  }
  return boxes;
}

// A box's texts once its thread answers: a thread that has just come back
// from a long call counts as hung for a moment, and a read with
// SMTO_ABORTIFHUNG then gives nothing.
ui::MessageBoxInfo ReadBoxWhenAnswering(HWND box) {
  const double start = bench::NowMs();
  ui::MessageBoxInfo info = ui::ReadMessageBox(box);
  while (info.caption.empty() && ui::WindowExists(box) && bench::NowMs() - start < WindowWaitMs) {
    Sleep(50);
    info = ui::ReadMessageBox(box);
  }
  return info;
}

// Polls every pollMs until a box captioned like the setup appears and gives
// the time it was first seen; every other box (the error box) is counted
// and answered OK.
HWND WaitForSetupBox(const ui::Process& setup, std::vector<HWND>& seen, int pollMs, int timeoutMs, int* errorBoxes,
                     double* shownAt) {
  const double start = bench::NowMs();
  while (bench::NowMs() - start < timeoutMs) {
    for (HWND box : NewBoxes(setup.Id(), seen)) {
      *shownAt = bench::NowMs();
      seen.push_back(box);
      const ui::MessageBoxInfo info = ReadBoxWhenAnswering(box);
      if (info.caption == SetupName) return box;
      ++*errorBoxes;
      bench::PrintText("error_box", info.caption + ": " + info.text);
      ui::AnswerMessageBox(box, IDOK);
    }
    if (!setup.IsRunning()) return NULL;
    Sleep(static_cast<DWORD>(pollMs));
  }
  return NULL;
}

int EndSetup(ui::Process& setup, HWND box, int answer) {
  ui::AnswerMessageBox(box, answer);
  const ui::ExitOutcome exit = setup.WaitForExit(ExitWaitMs);
  if (!exit) return bench::Fail("the setup did not end: " + exit.failure);
  return 0;
}

int Startup(const std::string& exe, const std::string& className, const std::string& title) {
  const double start = bench::NowMs();
  ui::StartOutcome started = ui::StartProgram(exe);
  if (!started) return bench::Fail(started.failure);
  // A tight poll: the figure is a few hundred milliseconds.
  for (;;) {
    HWND window = FindWindowA(className.c_str(), title.c_str());
    if (window != NULL && IsWindowVisible(window) && ui::ProcessOf(window) == started.process.Id()) break;
    if (!started.process.IsRunning()) return bench::Fail(exe + " ended before its window was shown");
    if (bench::NowMs() - start > WindowWaitMs) return bench::Fail("no visible window " + title);
    Sleep(1);
  }
  bench::Print("start_to_visible_ms", bench::NowMs() - start);
  bench::PrintInt("peak_working_set_bytes", PeakWorkingSet(started.process.Id()));
  started.process.Kill();
  return 0;
}

int Install(const std::string& setupExe, int pollMs) {
  ui::StartOutcome started = ui::StartProgram(setupExe);
  if (!started) return bench::Fail(started.failure);
  ui::Process& setup = started.process;
  const ui::FoundWindow main = ui::WaitForWindow(setup, ui::WindowQuery{SetupName, SetupName, true}, WindowWaitMs);
  if (!main) return bench::Fail(main.failure);

  HWND languageBox = NULL;
  const ui::WaitOutcome filled = ui::WaitUntil(
      [&] {
        languageBox = ui::ChildById(main.hwnd, LanguageBoxId);
        return languageBox != NULL && ui::IsEnabled(languageBox) && ui::ComboCount(languageBox) >= 2;
      },
      WindowWaitMs, "an enabled language box with a language", [&] { return ui::DescribeWindowsOf(setup.Id()); });
  if (!filled) return bench::Fail(filled.failure);
  ui::SelectComboItem(languageBox, 1);
  HWND installButton = NULL;
  const ui::WaitOutcome enabled = ui::WaitUntil(
      [&] {
        installButton = ui::ChildById(main.hwnd, InstallButtonId);
        return installButton != NULL && ui::IsEnabled(installButton);
      },
      WindowWaitMs, "an enabled Install button");
  if (!enabled) return bench::Fail(enabled.failure);

  const double cpuBefore = CpuMs(setup.Handle());
  const long long clickEpochUs = bench::EpochUs();
  const double click = bench::NowMs();
  ui::ClickButton(installButton);

  std::vector<HWND> seen;
  int errorBoxes = 0;
  double shownAt = 0;
  HWND question = WaitForSetupBox(setup, seen, pollMs, RunWaitMs, &errorBoxes, &shownAt);
  if (question == NULL) return bench::Fail("no closing question: " + ui::DescribeWindowsOf(setup.Id()));
  bench::Print("install_ms", shownAt - click);
  bench::PrintInt("click_epoch_us", clickEpochUs);
  bench::PrintInt("question_epoch_us", bench::EpochUs());
  bench::PrintInt("error_boxes", errorBoxes);
  bench::PrintInt("peak_working_set_bytes", PeakWorkingSet(setup.Id()));
  bench::Print("getprocesstimes_cpu_ms", CpuMs(setup.Handle()) - cpuBefore);
  return EndSetup(setup, question, IDNO);
}

int Uninstall(const std::string& setupExe) {
  ui::StartOutcome started = ui::StartProgram(setupExe);
  if (!started) return bench::Fail(started.failure);
  ui::Process& setup = started.process;
  const ui::FoundWindow main = ui::WaitForWindow(setup, ui::WindowQuery{SetupName, SetupName, true}, WindowWaitMs);
  if (!main) return bench::Fail(main.failure);
  HWND uninstallButton = ui::ChildById(main.hwnd, UninstallButtonId);
  if (uninstallButton == NULL) return bench::Fail("no maintenance screen: " + ui::DescribeTree(main.hwnd));

  ui::ClickButton(uninstallButton);
  std::vector<HWND> seen;
  int errorBoxes = 0;
  double shownAt = 0;
  HWND question = WaitForSetupBox(setup, seen, 20, WindowWaitMs, &errorBoxes, &shownAt);
  if (question == NULL) return bench::Fail("no removal question");
  const double yes = bench::NowMs();
  ui::AnswerMessageBox(question, IDYES);
  HWND done = WaitForSetupBox(setup, seen, 20, RunWaitMs, &errorBoxes, &shownAt);
  if (done == NULL) return bench::Fail("no success message: " + ui::DescribeWindowsOf(setup.Id()));
  bench::Print("removal_ms", shownAt - yes);
  bench::PrintInt("error_boxes", errorBoxes);
  bench::PrintText("message", ReadBoxWhenAnswering(done).text);
  return EndSetup(setup, done, IDOK);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "startup") return Startup(args[1], args[2], args[3]);
  if ((args.size() == 2 || args.size() == 3) && args[0] == "install") {
    return Install(args[1], args.size() == 3 ? std::atoi(args[2].c_str()) : 20);
  }
  if (args.size() == 2 && args[0] == "uninstall") return Uninstall(args[1]);
  if (args.size() == 1 && args[0] == "hold") {
    Sleep(INFINITE);
    return 0;
  }
  std::fprintf(stderr,
               "usage: hb-bench startup <exe> <class> <title>\n"
               "       hb-bench install <setup.exe> [poll-ms]\n"
               "       hb-bench uninstall <setup.exe>\n"
               "       hb-bench hold\n");
  return 2;
}
