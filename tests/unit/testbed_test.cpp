// The test bed's update server, seen through WinINet and URLMON without the
// setup: the answers the download tests rely on really come as intended.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "test_support.h"

using namespace hbtest;

namespace {

struct Answer {
  bool connected = false;  // an HTTP answer arrived at all
  DWORD status = 0;
  DWORD contentLength = 0;
  std::string body;
};

Answer Fetch(const std::string& url) {
  Answer answer;
  HINTERNET session = InternetOpenA("hb-testbed-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) return answer;
  HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (request) {
    answer.connected = true;
    DWORD size = sizeof(answer.status);
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status, &size, nullptr);
    size = sizeof(answer.contentLength);
    HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &answer.contentLength, &size,
                   nullptr);
    char buffer[16384];
    DWORD read = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) answer.body.append(buffer, read);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return answer;
}

class TestbedServer : public ::testing::Test {
 protected:
  void SetUp() override { ClearServer(); }
  void TearDown() override { ClearServer(); }
};

TEST_F(TestbedServer, AnswersEachRuleAsTheTestsExpect) {
  const std::string payload = BinaryPayload(300 * 1024);
  struct Case {
    const char* what;
    std::function<void()> arrange;
    bool connected;
    DWORD status;
    std::size_t bodySize;
  };
  const Case cases[] = {
      {"a served file", [&] { ServeFile("dir/file.bin", payload); }, true, 200, payload.size()},
      {"a file that is not served", [] {}, true, 404, 0},
      {"rule 404 on a served file",
       [&] { ServeFile("dir/file.bin", payload); SetServerRule("dir/file.bin", "404"); }, true, 404, 0},
      {"rule 500", [&] { ServeFile("dir/file.bin", payload); SetServerRule("/dir/file.bin", "500"); }, true, 500, 0},
      {"rule cut", [&] { ServeFile("dir/file.bin", payload); SetServerRule("dir/file.bin", "cut"); }, true, 200,
       payload.size() / 2},
      {"server down", [&] { ServeFile("dir/file.bin", payload); ServerDown(true); }, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearServer();
    c.arrange();
    Answer answer = Fetch(ServerUrl("dir/file.bin"));
    ASSERT_EQ(c.connected, answer.connected) << "whether an HTTP answer arrived";
    if (!c.connected) continue;
    EXPECT_EQ(c.status, answer.status) << "status code";
    if (c.status == 200) {
      EXPECT_EQ(payload.size(), answer.contentLength) << "Content-Length announces the whole file";
      ASSERT_EQ(c.bodySize, answer.body.size()) << "body bytes received";
      EXPECT_TRUE(answer.body == payload.substr(0, c.bodySize)) << "body bytes differ from the served file";
    } else {
      EXPECT_FALSE(answer.body.empty()) << "an error page comes with the error";
    }
    EXPECT_EQ(std::vector<std::string>{"/dir/file.bin"}, RequestLog()) << "one logged request";
  }
}

TEST_F(TestbedServer, LiftsRulesAndDownState) {
  ServeFile("a.txt", "abc");
  SetServerRule("a.txt", "500");
  SetServerRule("a.txt", "404");
  EXPECT_EQ(404u, Fetch(ServerUrl("a.txt")).status) << "a later rule for a path replaces the earlier one";
  ServerDown(true);
  EXPECT_FALSE(Fetch(ServerUrl("a.txt")).connected) << "down closes connections";
  ServerDown(false);
  SetServerRule("a.txt", "none");
  Answer answer = Fetch(ServerUrl("a.txt"));
  EXPECT_EQ(200u, answer.status) << "up again, and an unknown action answers normally";
  EXPECT_EQ("abc", answer.body);
}

TEST_F(TestbedServer, PlainHttpOnTheSamePortServesTheFile) {
  ServeFile("plain.txt", "plain");
  Answer answer = Fetch("http://localhost:" + std::to_string(TestPort()) + "/plain.txt");
  EXPECT_EQ(200u, answer.status);
  EXPECT_EQ("plain", answer.body);
}

TEST_F(TestbedServer, UrlDownloadTrustsOnlyTheTestCa) {
  const std::string payload = BinaryPayload(4096, 7);
  ServeFile("trust.bin", payload);
  const std::string destination = ScratchPath("trust.bin");
  RemoveTree(destination);

  EXPECT_EQ(S_OK, URLDownloadToFileA(nullptr, ServerUrl("trust.bin").c_str(), destination.c_str(), 0, nullptr));
  EXPECT_TRUE(ReadFileBytes(destination) == payload) << "the trusted server's file, byte for byte";
  RemoveTree(destination);

  HRESULT untrusted =
      URLDownloadToFileA(nullptr, UntrustedServerUrl("trust.bin").c_str(), destination.c_str(), 0, nullptr);
  EXPECT_EQ(static_cast<HRESULT>(0x800C0019), untrusted) << "INET_E_INVALID_CERTIFICATE from the untrusted server";
  EXPECT_FALSE(PathPresent(destination));
}

}  // namespace
