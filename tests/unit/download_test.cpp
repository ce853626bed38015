// DownloadFile against the test bed's HTTPS server: only a whole file from a
// 2xx answer of a trusted server counts, and a failure leaves nothing behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "files/file_primitives.h"
#include "test_support.h"

using namespace hbtest;

namespace {

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearServer();
    ASSERT_TRUE(RemoveTree(ScratchDir()));
    destination_ = ScratchPath("download.bin");
  }
  void TearDown() override {
    ClearServer();
    RemoveTree(ScratchDir());
  }

  const std::string payload_ = BinaryPayload(300 * 1024);
  std::string destination_;
};

TEST_F(Download, FailuresAnswerFalseAndLeaveNoFile) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::function<std::string()> url;
    const char* destinationName;  // in the scratch folder
    bool reachesHttp;             // the server sees the request
  };
  const std::string file = "pkg/file.bin";
  const Case cases[] = {
      {"certificate from a CA Windows does not trust", [&] { ServeFile(file, payload_); },
       [&] { return UntrustedServerUrl(file); }, "download.bin", false},
      {"404: not on the server", [] {}, [&] { return ServerUrl(file); }, "download.bin", true},
      {"500 from the server", [&] { ServeFile(file, payload_); SetServerRule(file, "500"); },
       [&] { return ServerUrl(file); }, "download.bin", true},
      {"body cut short after half its Content-Length", [&] { ServeFile(file, payload_); SetServerRule(file, "cut"); },
       [&] { return ServerUrl(file); }, "download.bin", true},
      {"connection closed without an answer", [&] { ServeFile(file, payload_); ServerDown(true); },
       [&] { return ServerUrl(file); }, "download.bin", false},
      {"destination folder does not exist", [&] { ServeFile(file, payload_); },
       [&] { return ServerUrl(file); }, "missing-folder\\download.bin", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearServer();
    c.arrange();
    const std::string destination = ScratchPath(c.destinationName);
    const bool hasFolder = PathPresent(destination.substr(0, destination.rfind('\\')));
    if (hasFolder) {
      ASSERT_TRUE(WriteFileBytes(destination, "an older copy"));
    }
    const std::string url = c.url();

    const DWORD start = GetTickCount();
    EXPECT_FALSE(DownloadFile(url.c_str(), destination.c_str())) << url;
    const DWORD elapsed = GetTickCount() - start;

    EXPECT_FALSE(PathPresent(destination)) << "a file is left at " << destination;
    if (!hasFolder) {
      EXPECT_FALSE(PathPresent(ScratchPath("missing-folder"))) << "the missing folder was made";
    }
    if (c.reachesHttp) {
      // The failure came from the answer, not from a refusal of the address.
      EXPECT_EQ(std::vector<std::string>{"/pkg/file.bin"}, RequestLog());
    }
    EXPECT_LT(elapsed, 30000u) << "took " << elapsed << " ms";
  }
}

TEST_F(Download, SavesA2xxAnswerByteForByteOverAnOlderCopy) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"a binary file of a few hundred KB", payload_},
      {"an empty file", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearServer();
    ServeFile("pkg/file.bin", c.bytes);
    // Longer than the download: any tail left of it shows.
    ASSERT_TRUE(WriteFileBytes(destination_, std::string(400 * 1024, 'x')));

    ASSERT_TRUE(DownloadFile(ServerUrl("pkg/file.bin").c_str(), destination_.c_str()));
    std::optional<std::string> saved = ReadFileBytes(destination_);
    ASSERT_TRUE(saved.has_value()) << destination_ << " is missing";
    EXPECT_EQ(c.bytes.size(), saved->size()) << "size of the saved file";
    EXPECT_TRUE(*saved == c.bytes) << "saved bytes differ from the served file";
    EXPECT_EQ(std::vector<std::string>{"/pkg/file.bin"}, RequestLog());
  }
}

TEST_F(Download, FetchesTheServersCurrentFileEveryTime) {
  const std::string first = BinaryPayload(64 * 1024, 1);
  const std::string second = BinaryPayload(50 * 1024, 2);
  const std::string url = ServerUrl("manifest.ini");
  // Even an answer the server allows to be cached is fetched anew.
  SetServerRule("manifest.ini", "cacheable");

  ServeFile("manifest.ini", first);
  ASSERT_TRUE(DownloadFile(url.c_str(), destination_.c_str()));
  ASSERT_TRUE(ReadFileBytes(destination_) == first);

  ServeFile("manifest.ini", second);
  ASSERT_TRUE(DownloadFile(url.c_str(), destination_.c_str()));
  EXPECT_TRUE(ReadFileBytes(destination_) == second) << "the second download is an old, cached copy";
  EXPECT_EQ((std::vector<std::string>{"/manifest.ini", "/manifest.ini"}), RequestLog())
      << "each download asks the server";
}

}  // namespace
