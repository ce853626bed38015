// Adds a DER certificate to the machine's Root store, so that Windows trusts
// the test server's certificate authority.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust-ca <certificate.der>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fprintf(stderr, "trust-ca: cannot read %s\n", argv[1]);
    return 1;
  }
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!root) {
    std::fprintf(stderr, "trust-ca: CertOpenStore(Root) failed, error %lu\n", GetLastError());
    return 1;
  }
  BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  DWORD error = GetLastError();
  CertCloseStore(root, 0);
  if (!added) {
    std::fprintf(stderr, "trust-ca: CertAddEncodedCertificateToStore failed, error 0x%08lx\n", error);
    return 1;
  }
  return 0;
}
