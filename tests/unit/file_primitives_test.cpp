// The file primitives on a real Windows file system (Wine's): what counts as
// present, how deletion ends, the two directory trees, and the addresses a
// download refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "test_support.h"

using namespace hbtest;

namespace {

// A handle on a file for the length of a scope, with the given sharing.
class HeldFile {
 public:
  HeldFile(const std::string& path, DWORD shareMode)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() { Release(); }
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

// Wall and CPU time of one call.
struct Timing {
  DWORD wallMs;
  double cpuMs;
};

template <typename Call>
Timing Measure(Call call) {
  const double cpuBefore = ProcessCpuMs();
  const DWORD start = GetTickCount();
  call();
  return {GetTickCount() - start, ProcessCpuMs() - cpuBefore};
}

DWORD Attributes(const char* path) { return GetFileAttributesA(path); }

class FilePrimitives : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveTree(ScratchDir()));
    file_ = ScratchPath("present.txt");
    ASSERT_TRUE(WriteFileBytes(file_, "present\r\n"));
  }
  void TearDown() override { RemoveTree(ScratchDir()); }

  std::string file_;
};

TEST_F(FilePrimitives, FileExistsMeansDirectoryOrReadableNow) {
  struct Case {
    const char* what;
    std::string path;
    DWORD holdWithSharing;  // ~0u: not held
    bool exists;
  };
  const DWORD notHeld = ~0u;
  const Case cases[] = {
      {"an existing directory", ScratchDir(), notHeld, true},
      {"a system directory", "C:\\windows", notHeld, true},
      {"a readable file", file_, notHeld, true},
      {"an empty path", "", notHeld, false},
      {"a missing file", ScratchPath("missing.txt"), notHeld, false},
      {"a file in a missing folder", ScratchPath("missing\\file.txt"), notHeld, false},
      {"a file held open with no sharing", file_, 0, false},
      {"a file held open that others may read", file_, FILE_SHARE_READ, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<HeldFile> holder;
    if (c.holdWithSharing != notHeld) {
      holder.emplace(c.path, c.holdWithSharing);
      ASSERT_TRUE(holder->held()) << "could not hold " << c.path;
    }
    EXPECT_EQ(c.exists, FileExists(c.path.c_str())) << "FileExists(\"" << c.path << "\")";
  }
  EXPECT_TRUE(IsDirectory(ScratchDir().c_str()));
  EXPECT_FALSE(IsDirectory(file_.c_str())) << "a file is not a directory";
}

TEST_F(FilePrimitives, RemoveUntilGoneEndsAtOnceWhenFileExistsSaysGone) {
  struct Case {
    const char* what;
    bool hold;
    bool stillOnDisk;
  };
  const Case cases[] = {
      {"a deletable file is deleted", false, false},
      {"a file nobody may read counts as gone and is left alone", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(file_, "present\r\n"));
    std::optional<HeldFile> holder;
    if (c.hold) holder.emplace(file_, 0);
    bool result = false;
    Timing timing = Measure([&] { result = RemoveUntilGone(file_.c_str()); });
    holder.reset();
    EXPECT_TRUE(result) << "FileExists answers false, so the path counts as gone";
    EXPECT_LT(timing.wallMs, 1000u) << "returned after " << timing.wallMs << " ms";
    EXPECT_EQ(c.stillOnDisk, PathPresent(file_)) << "file on disk after the call";
  }
  EXPECT_TRUE(RemoveUntilGone(ScratchPath("never-there.txt").c_str())) << "a missing path is gone already";
}

TEST_F(FilePrimitives, RemoveUntilGoneGivesUpOnAFileThatStays) {
  struct Case {
    const char* what;
    DWORD holdWithSharing;  // ~0u: not held
    DWORD attributes;
  };
  const Case cases[] = {
      {"held open, readable by others but not deletable", FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL},
      {"read-only", ~0u, FILE_ATTRIBUTE_READONLY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(file_, "present\r\n"));
    SetFileAttributesA(file_.c_str(), c.attributes);
    std::optional<HeldFile> holder;
    if (c.holdWithSharing != ~0u) holder.emplace(file_, c.holdWithSharing);
    ASSERT_TRUE(FileExists(file_.c_str())) << "the file must be readable for this case";

    bool result = true;
    Timing timing = Measure([&] { result = RemoveUntilGone(file_.c_str()); });
    holder.reset();
    SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_FALSE(result) << "a file that stays is reported";
    EXPECT_TRUE(PathPresent(file_));
    EXPECT_GE(timing.wallMs + 50, RemoveUntilGoneTimeoutMs) << "gave up after " << timing.wallMs << " ms";
    EXPECT_LE(timing.wallMs, RemoveUntilGoneTimeoutMs + 1500) << "gave up after " << timing.wallMs << " ms";
    EXPECT_LT(timing.cpuMs, timing.wallMs * 0.10)
        << "used " << timing.cpuMs << " ms of CPU in " << timing.wallMs << " ms: the retry loop spins";
  }
}

TEST_F(FilePrimitives, WaitUntilRemovedOutlastsTheRemovalBound) {
  // Held longer than RemoveUntilGone would try: the installer case, where the
  // file goes only when its holder ends.
  const DWORD holdMs = RemoveUntilGoneTimeoutMs + 1000;
  HeldFile holder(file_, FILE_SHARE_READ);
  ASSERT_TRUE(holder.held());
  std::atomic<DWORD> releasedAt{0};
  std::thread releaser([&] {
    Sleep(holdMs);
    releasedAt = GetTickCount();
    holder.Release();
  });
  Timing timing = Measure([&] { WaitUntilRemoved(file_.c_str()); });
  const DWORD returnedAt = GetTickCount();
  const DWORD releasedBeforeReturn = releasedAt.load();
  releaser.join();

  ASSERT_NE(0u, releasedBeforeReturn) << "returned after " << timing.wallMs << " ms, while the file was still held";
  EXPECT_FALSE(PathPresent(file_)) << "the file is gone when WaitUntilRemoved returns";
  EXPECT_LT(returnedAt - releasedAt, 1000u) << "returned " << returnedAt - releasedAt << " ms after the release";
  EXPECT_LT(timing.cpuMs, timing.wallMs * 0.10)
      << "used " << timing.cpuMs << " ms of CPU in " << timing.wallMs << " ms: the wait spins";
}

class ProgramDirectories : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetMachine()); }
  void TearDown() override { ResetMachine(); }
};

struct DirectoryCase {
  const char* path;
  bool hiddenAndSystem;
};
const DirectoryCase kProgramDirectories[] = {
    {InstallRoot, false}, {FilesDir, false}, {LangDir, false},
    {IconsDir, false},    {DataRoot, true},  {OptionsDir, true},
};

TEST_F(ProgramDirectories, MakesBothTreesWithTheirMissingParents) {
  ASSERT_FALSE(PathPresent("C:\\Programme")) << "a machine without C:\\Programme to start with";
  CreateProgramDirectories();
  for (const DirectoryCase& c : kProgramDirectories) {
    SCOPED_TRACE(c.path);
    const DWORD attributes = Attributes(c.path);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << c.path << " was not made";
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(c.hiddenAndSystem ? hiddenSystem : 0u, attributes & hiddenSystem)
        << "hidden/system bits of " << c.path << ": attributes 0x" << std::hex << attributes;
  }
}

TEST_F(ProgramDirectories, ASecondCallKeepsContentsAndSetsTheAttributesAgain) {
  CreateProgramDirectories();
  const std::string package = std::string(FilesDir) + "\\package.bin";
  const std::string settings = SettingsIni;
  ASSERT_TRUE(WriteFileBytes(package, BinaryPayload(1000)));
  ASSERT_TRUE(WriteFileBytes(settings, "[SETTINGS]\r\nsprache=C:\\Programme\\Hollowbranch\\Lang\\English.lng\r\n"));
  DWORD before[6];
  for (int i = 0; i < 6; ++i) before[i] = Attributes(kProgramDirectories[i].path);
  // Someone made the data tree visible again since.
  SetFileAttributesA(OptionsDir, FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesA(DataRoot, FILE_ATTRIBUTE_NORMAL);

  CreateProgramDirectories();

  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(before[i], Attributes(kProgramDirectories[i].path))
        << "attributes of " << kProgramDirectories[i].path << " after the second call";
  EXPECT_TRUE(ReadFileBytes(package) == BinaryPayload(1000)) << package << " changed";
  EXPECT_TRUE(ReadFileBytes(settings) ==
              std::string("[SETTINGS]\r\nsprache=C:\\Programme\\Hollowbranch\\Lang\\English.lng\r\n"))
      << settings << " changed";
}

class DownloadAddresses : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearServer();
    ServeFile("pkg/file.bin", payload_);
    ASSERT_TRUE(RemoveTree(ScratchDir()));
    destination_ = ScratchPath("download.bin");
  }
  void TearDown() override {
    ClearServer();
    RemoveTree(ScratchDir());
  }

  const std::string payload_ = BinaryPayload(20000);
  std::string destination_;
};

TEST_F(DownloadAddresses, RefusesAllButHttpsAndLeavesNoOldCopy) {
  // Each address would deliver the served file if it were fetched.
  std::string servedFile = ServedFilePath("pkg/file.bin");
  std::string fileUrl = "file:///" + servedFile;
  for (char& ch : fileUrl)
    if (ch == '\\') ch = '/';
  const std::string refused[] = {
      "http://localhost:" + std::to_string(TestPort()) + "/pkg/file.bin",
      fileUrl,
      servedFile,
      "0",
      "",
  };
  for (const std::string& url : refused) {
    SCOPED_TRACE("address \"" + url + "\"");
    ClearServer();
    ServeFile("pkg/file.bin", payload_);
    ASSERT_TRUE(WriteFileBytes(destination_, "old copy"));
    EXPECT_FALSE(DownloadFile(url.c_str(), destination_.c_str()));
    EXPECT_FALSE(PathPresent(destination_)) << "the old copy is left at the destination";
    EXPECT_TRUE(RequestLog().empty()) << "the server was asked for " << RequestLog().front();
  }
}

TEST_F(DownloadAddresses, AcceptsHttpsInAnyLetterCase) {
  const std::string url = "HTTPS://localhost:" + std::to_string(TestPort()) + "/pkg/file.bin";
  ASSERT_TRUE(DownloadFile(url.c_str(), destination_.c_str())) << url;
  EXPECT_TRUE(ReadFileBytes(destination_) == payload_);
  EXPECT_EQ(std::vector<std::string>{"/pkg/file.bin"}, RequestLog());
}

}  // namespace
