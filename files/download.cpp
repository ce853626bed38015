// DownloadFile: one https address into one local file, fresh from the server.
//
// URLDownloadToFileA alone returns S_OK for an HTTP error page, for a body cut
// short and for a destination folder that does not exist, so the answer here
// also rests on the HTTP status, the Content-Length and the file on disk.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "files/file_primitives.h"

namespace {

// Learns the status code and Content-Length of the answer; shows no progress.
class ResponseWatcher : public IBindStatusCallback, public IHttpNegotiate {
 public:
  DWORD statusCode = 0;
  bool hasContentLength = false;
  unsigned long long contentLength = 0;

  // IUnknown: the watcher lives on the caller's stack for the whole call.
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

  // IBindStatusCallback
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

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders) override {
    if (pszAdditionalHeaders != NULL) *pszAdditionalHeaders = NULL;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR,
                          LPWSTR* pszAdditionalRequestHeaders) override {
    statusCode = dwResponseCode;
    ReadContentLength(szResponseHeaders);
    if (pszAdditionalRequestHeaders != NULL) *pszAdditionalRequestHeaders = NULL;
    return S_OK;
  }

 private:
  void ReadContentLength(LPCWSTR headers) {
    static const wchar_t name[] = L"content-length:";
    const size_t nameLength = wcslen(name);
    for (LPCWSTR line = headers; line != NULL && *line != L'\0';) {
      if (_wcsnicmp(line, name, nameLength) == 0) {
        wchar_t* end = NULL;
        const unsigned long long value = wcstoull(line + nameLength, &end, 10);
        if (end != line + nameLength) {
          hasContentLength = true;
          contentLength = value;
        }
        return;
      }
      line = wcschr(line, L'\n');
      if (line != NULL) ++line;
    }
  }
};

bool IsHttpsAddress(const char* url) {
  return _strnicmp(url, "https://", 8) == 0;
}

bool FileSizeOf(const char* path, unsigned long long* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

}  // namespace

bool DownloadFile(const char* url, const char* destination) {
  // An older copy must never stand in for a failed download.
  if (!RemoveUntilGone(destination)) return false;

  // The setup runs elevated and starts what it downloads: nothing but https.
  if (!IsHttpsAddress(url)) return false;

  DeleteUrlCacheEntryA(url);

  ResponseWatcher watcher;
  const HRESULT hr = URLDownloadToFileA(NULL, url, destination, 0, &watcher);

  unsigned long long size = 0;
  const bool bWhole = hr == S_OK && watcher.statusCode >= 200 && watcher.statusCode < 300 &&
                      FileSizeOf(destination, &size) &&
                      (!watcher.hasContentLength || size == watcher.contentLength);
  if (!bWhole) RemoveUntilGone(destination);
  return bWhole;
}
