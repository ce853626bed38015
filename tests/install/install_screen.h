#pragma once
// The windows the installation worker talks to, made by the test itself: a
// hidden main window with the status bar, the Install and Cancel buttons, the
// language box (one language chosen) and the hidden progress list. The test's
// thread plays the user-interface thread: it pumps messages while the worker
// runs and answers the worker's message boxes.
#include <windows.h>

#include <string>
#include <vector>

namespace hbtest {

struct SeenLine {
  std::string text;
  DWORD tick;
};

struct SeenBox {
  std::string caption;
  std::string text;
  std::vector<int> buttons;  // ids among IDOK, IDCANCEL, IDYES, IDNO
  bool ownedByMain = false;
  bool showsIcon = false;
  DWORD tick = 0;
};

struct RunRecord {
  bool finished = false;  // the worker ended within the bound
  std::vector<SeenLine> lines;        // as LB_ADDSTRING reached the list, with the time
  std::vector<std::string> listItems;  // what the progress list holds at the end
  std::vector<SeenBox> boxes;
  int destroyMessages = 0;  // WM_DESTROY received by the main window
  DWORD destroyTick = 0;
  bool installButtonGone = false, cancelButtonGone = false, languageBoxGone = false;
  bool progressListShown = false;
  std::string statusText;  // at the end of the run
  DWORD startTick = 0, endTick = 0;

  std::vector<std::string> LineTexts() const;
  // The boxes whose caption is the setup's own: the closing question.
  std::vector<SeenBox> BoxesCaptioned(const std::string& caption) const;
};

class InstallScreen {
 public:
  // languageFileUrl: where the chosen language's file is served.
  explicit InstallScreen(const std::string& languageFileUrl);
  ~InstallScreen();
  InstallScreen(const InstallScreen&) = delete;
  InstallScreen& operator=(const InstallScreen&) = delete;

  // Starts InstallThread and plays the user until it ends: the closing
  // question gets questionAnswer (IDYES or IDNO), every other box OK.
  RunRecord Run(int questionAnswer, DWORD boundMs);
};

}  // namespace hbtest
