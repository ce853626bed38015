#pragma once
// Helpers for the Windows-side tests: where the test bed is, the update
// server's files and switches, whole files, a clean machine.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace hbtest {

// The test bed as wine-run.sh describes it in the environment. A missing
// variable ends the program with a message: the test is not in a test bed.
std::string TestbedDir();  // HB_TESTBED, a Windows path
std::string TestBinDir();  // HB_TEST_BIN
std::string TestBinPath(const std::string& fileName);
int TestPort();            // HB_TEST_PORT
int UntrustedPort();       // HB_UNTRUSTED_PORT

// "https://localhost:<port>/<path>"; the untrusted server serves the same
// files with a certificate from a CA that Windows does not trust.
std::string ServerUrl(const std::string& urlPath);
std::string UntrustedServerUrl(const std::string& urlPath);

// The server's document root: urlPath "a/b.ini" (or "/a/b.ini") is the file
// www\a\b.ini of the test bed; missing folders are made.
std::string ServedFilePath(const std::string& urlPath);
void ServeFile(const std::string& urlPath, const std::string& bytes);
// Empties the document root, the rules and the request log.
void ClearServer();
// action: "404", "500", "cut" (full Content-Length, half the body, then the
// connection is closed) or "cacheable" (clients may keep the answer for a
// day). A later rule for the same path replaces it.
void SetServerRule(const std::string& urlPath, const std::string& action);
// While down, the server closes every connection without an answer.
void ServerDown(bool down);
// The paths asked for since the last ClearServer, in order ("/a/b.ini").
std::vector<std::string> RequestLog();

std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathPresent(const std::string& path);
// Deletes a file or a whole tree, clearing read-only, hidden and system
// attributes on the way. True when nothing is left at path.
bool RemoveTree(const std::string& path);
// A folder of the test bed for a test's own files (made on demand).
std::string ScratchDir();
std::string ScratchPath(const std::string& name);

// A machine without the product: removes both trees, the two temporary
// names used while removing, and C:\Programme itself. True when all are gone
// (a file held open by a running program stays).
bool ResetMachine();

// Sets (or, with nullptr, removes) an environment variable of this process,
// for the C run-time and for child processes alike; restores the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Bytes that show truncation, text-mode translation and lost NULs: every
// byte value, CR LF and lone CR/LF, runs of zeros, then pseudo-random bytes.
std::string BinaryPayload(std::size_t size, unsigned seed = 1);

}  // namespace hbtest
