// Closing the running product (CloseProductWindows) and taking both trees
// away (RemoveInstallation), with the fake product and a file holder running
// in processes of their own.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "install_checks.h"
#include "removal/removal.h"
#include "test_support.h"

namespace hbtest {
namespace {

// The first program of a test run to open a window takes Wine some 12 s.
const DWORD ReadyBoundMs = 30000;

std::string ProductLog() { return TestbedPath("product.log"); }

std::vector<std::string> DestroyedWindows() {
  std::vector<std::string> windows;
  for (const LogRecord& record : RecordsOfKind(ReadLog(ProductLog()), "WM_DESTROY")) {
    windows.push_back(record.Field("window"));
  }
  return windows;
}

bool ProductReady() { return !RecordsOfKind(ReadLog(ProductLog()), "ready").empty(); }

// ------------------------------------------------------ CloseProductWindows

// Windows of this process that look like the product's but are not: a class
// with another title, a title with another class. They must be left alone.
int decoyDestroys = 0;

LRESULT CALLBACK DecoyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) ++decoyDestroys;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Decoys {
 public:
  Decoys() {
    decoyDestroys = 0;
    for (const char* className : {"Hollowbranch", "Hollowbranch - Messages", "HbDecoy"}) {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = DecoyProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = className;
      RegisterClassA(&wc);
    }
    const char* const windows[][2] = {{"Hollowbranch", "Hollowbranch"},
                                      {"Hollowbranch - Messages", "Messages"},
                                      {"HbDecoy", "My Hollowbranch"},
                                      {"HbDecoy", "Hollowbranch - Messages"}};
    for (const auto& window : windows) {
      windows_.push_back(CreateWindowExA(0, window[0], window[1], WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                         nullptr, GetModuleHandleA(nullptr), nullptr));
    }
  }
  ~Decoys() {
    for (HWND window : windows_) {
      // The real destruction is not the setup's doing.
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
      DestroyWindow(window);
    }
  }

 private:
  std::vector<HWND> windows_;
};

struct CloseCase {
  const char* name;
  const char* productOptions;  // nullptr: no product running
  std::vector<std::string> destroyed;
  DWORD boundMs;  // CloseProductWindows must return within this
};

class CloseProductWindowsTest : public ::testing::TestWithParam<CloseCase> {
 protected:
  void SetUp() override { RemoveTree(ProductLog()); }
};

TEST_P(CloseProductWindowsTest, SendsWmDestroyToTheProductWindowsOnly) {
  const CloseCase& c = GetParam();
  ScopedEnv noOptions("HB_PRODUCT_OPTS", nullptr);
  Decoys decoys;
  std::unique_ptr<ChildProcess> product;
  if (c.productOptions != nullptr) {
    product.reset(new ChildProcess(TestBinPath("fake-product.exe"), c.productOptions));
    ASSERT_TRUE(product->Started()) << TestBinPath("fake-product.exe");
    ASSERT_TRUE(WaitUntil(ProductReady, ReadyBoundMs)) << "the fake product did not open its windows";
  }

  const DWORD start = GetTickCount();
  CloseProductWindows();
  const DWORD elapsed = GetTickCount() - start;

  EXPECT_LT(elapsed, c.boundMs) << "CloseProductWindows took too long";
  // SendMessage returns once the product has handled the message, so its
  // record is complete by now.
  EXPECT_EQ(Joined(DestroyedWindows(), ", "), Joined(c.destroyed, ", ")) << "product windows sent WM_DESTROY";
  EXPECT_EQ(decoyDestroys, 0) << "a window with only the class or only the title of a product window";
  if (product && !c.destroyed.empty()) {
    EXPECT_TRUE(product->WaitForExit(10000)) << "the fake product ends once its windows are told to close";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Product, CloseProductWindowsTest,
    ::testing::Values(CloseCase{"NotRunning", nullptr, {}, 1000},
                      CloseCase{"OnlyMessagesWindow", "only-messages lifetime=20000", {"messages"}, 3000},
                      CloseCase{"OnlyMainWindow", "only-main lifetime=20000", {"main"}, 3000},
                      CloseCase{"BothWindows", "lifetime=20000", {"main", "messages"}, 3000},
                      // Asleep for longer than any wait the setup may make: the
                      // messages stay unhandled while the setup goes on.
                      CloseCase{"NotResponding", "hang=40000 lifetime=60000", {}, 15000}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------- RemoveInstallation

void PlaceFile(const std::string& path, const std::string& bytes = "content") {
  MakeDirectories(path.substr(0, path.rfind('\\')));
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

std::string TreesLeft() {
  std::string left;
  for (const char* path : {InstallRoot, DataRoot, InstallRootTempName, DataRootTempName}) {
    if (PathPresent(path)) left += std::string(left.empty() ? "" : ", ") + path;
  }
  return left;
}

// Both trees as an installation leaves them: the data tree hidden and system.
void PlaceInstallation() {
  CreateProgramDirectories();
  PlaceFile(ProductExe, "program");
  PlaceFile(DefaultLanguageFile);
  PlaceFile(std::string(FilesDir) + "\\plugins\\deep\\x.dat");
  PlaceFile(UpdatesIni, "[INFO]\r\nversion=1\r\n");
  PlaceFile(SettingsIni);
  PlaceFile(std::string(OptionsDir) + "\\hidden.dat");
  SetFileAttributesA((std::string(OptionsDir) + "\\hidden.dat").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

struct RemovalCase {
  const char* name;
  bool installation;    // both trees in place
  bool leftoverInstallTemp, leftoverDataTemp;
  DWORD boundMs;
};

class RemoveInstallationTest : public ::testing::TestWithParam<RemovalCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetMachine()); }
  void TearDown() override { ResetMachine(); }
};

TEST_P(RemoveInstallationTest, LeavesNeitherRootNorTemporaryName) {
  const RemovalCase& c = GetParam();
  if (c.installation) {
    PlaceInstallation();
    const DWORD dataAttributes = GetFileAttributesA(DataRoot);
    ASSERT_TRUE((dataAttributes & FILE_ATTRIBUTE_HIDDEN) && (dataAttributes & FILE_ATTRIBUTE_SYSTEM))
        << "the data tree should start hidden and system";
  }
  if (c.leftoverInstallTemp) PlaceFile(std::string(InstallRootTempName) + "\\Files\\old.dat");
  if (c.leftoverDataTemp) {
    PlaceFile(std::string(DataRootTempName) + "\\Options\\updates.ini");
    SetFileAttributesA(DataRootTempName, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }

  const DWORD start = GetTickCount();
  const bool removed = RemoveInstallation(20000);
  const DWORD elapsed = GetTickCount() - start;

  EXPECT_TRUE(removed);
  EXPECT_EQ(TreesLeft(), "") << "left behind";
  EXPECT_LT(elapsed, c.boundMs);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RemoveInstallationTest,
    ::testing::Values(RemovalCase{"BothTrees", true, false, false, 20000},
                      RemovalCase{"LeftoverTemporaryNamesBesideTheRoots", true, true, true, 20000},
                      RemovalCase{"LeftoverTemporaryNamesWithoutRoots", false, true, true, 20000},
                      // Nothing to move and nothing to delete: no command is run.
                      RemovalCase{"NothingPresent", false, false, false, 1000}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return std::string(info.param.name); });

// A file of the install tree held open, sharing nothing, by another process
// (as the product holds its files while it runs).
class HeldFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetMachine());
    PlaceInstallation();
  }
  void TearDown() override {
    if (holder_) holder_->Kill();
    ResetMachine();
  }

  // Returns once the holder has the file.
  void HoldFile(const std::string& path, DWORD holdMs) {
    const std::string eventName = "hb-hold-ready-" + std::to_string(GetTickCount());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    holder_.reset(new ChildProcess(TestBinPath("hold-file.exe"),
                                   "\"" + path + "\" none " + std::to_string(holdMs) + " " + eventName));
    ASSERT_TRUE(holder_->Started());
    const bool held = WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
    CloseHandle(ready);
    ASSERT_TRUE(held) << "hold-file did not take " << path;
  }

  std::unique_ptr<ChildProcess> holder_;
};

TEST_F(HeldFileTest, RemovalWaitsUntilTheFileIsReleased) {
  const std::string held = std::string(FilesDir) + "\\held.dat";
  PlaceFile(held);
  HoldFile(held, 3000);

  const DWORD start = GetTickCount();
  const bool removed = RemoveInstallation(30000);
  const DWORD elapsed = GetTickCount() - start;

  EXPECT_TRUE(removed) << "the file was released after 3 s, well within the bound";
  EXPECT_EQ(TreesLeft(), "") << "left behind";
  EXPECT_GE(elapsed, 2500u) << "the removal ended while the file was still held";
}

TEST_F(HeldFileTest, RemovalGivesUpWithinItsBoundOnAFileThatStaysHeld) {
  const std::string held = std::string(FilesDir) + "\\held.dat";
  PlaceFile(held);
  HoldFile(held, 120000);

  const DWORD start = GetTickCount();
  const bool removed = RemoveInstallation(2000);
  const DWORD elapsed = GetTickCount() - start;

  EXPECT_FALSE(removed) << "the install tree could not be removed";
  EXPECT_GE(elapsed, 1900u) << "gave up before its bound";
  EXPECT_LT(elapsed, 8000u) << "two trees with a bound of 2 s each";
  EXPECT_TRUE(PathPresent(held) || PathPresent(std::string(InstallRootTempName) + "\\Files\\held.dat"))
      << "the held file is still there, under the root or the temporary name";
  EXPECT_TRUE(PathPresent(UpdatesIni)) << "the record of the installation stays while its install tree does";
}

// Repair and Uninstall: the product is told to close, and the removal goes on
// while the product still takes a while to end and holds its program file.
TEST(RepairSequenceTest, RemovalWaitsForTheClosingProduct) {
  ASSERT_TRUE(ResetMachine());
  RemoveTree(ProductLog());
  ScopedEnv noOptions("HB_PRODUCT_OPTS", nullptr);
  PlaceInstallation();
  ASSERT_TRUE(CopyFileA(TestBinPath("fake-product.exe").c_str(), ProductExe, FALSE));
  ChildProcess product(ProductExe, "linger=3000 lifetime=60000");
  ASSERT_TRUE(product.Started());
  ASSERT_TRUE(WaitUntil(ProductReady, ReadyBoundMs)) << "the product did not open its windows";

  CloseProductWindows();
  const bool removed = RemoveInstallation(30000);
  const bool productEnded = product.WaitForExit(0);

  EXPECT_EQ(Joined(DestroyedWindows(), ", "), "main, messages");
  EXPECT_TRUE(removed);
  EXPECT_TRUE(productEnded) << "the removal ended while the product was still running from the install tree";
  EXPECT_EQ(TreesLeft(), "") << "left behind";
  product.Kill();
  ResetMachine();
}

}  // namespace
}  // namespace hbtest
