// A private certificate authority made per test run, and server identities it signs, so TLS
// tests trust exactly what they create (through SSL_CERT_FILE) and nothing else.
//
//   orvtest::TestAuthority ca;                           // fresh key and self-signed certificate
//   ca.WriteBundle(folder + "ca.pem");                   // a PEM bundle for SSL_CERT_FILE
//   orvtest::TlsIdentity id = ca.Issue({"localhost"}, {"127.0.0.1"});
//   server.EnableTls(id);
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvtest {

struct TlsIdentity {
  std::string certificatePem;  // the server's certificate
  std::string keyPem;          // its private key
};

class TestAuthority {
 public:
  explicit TestAuthority(const std::string& commonName = "Orvanta Test Authority");
  ~TestAuthority();
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  std::string CertificatePem() const;
  // Writes the authority's certificate as a PEM bundle; false when the file cannot be written.
  bool WriteBundle(const std::string& path) const;
  // A certificate for these host names and IP addresses, valid from an hour ago for a day.
  TlsIdentity Issue(const std::vector<std::string>& dnsNames,
                    const std::vector<std::string>& ipAddresses) const;
  // The same, signed by the authority's own key but naming itself as issuer: no store knows it.
  static TlsIdentity SelfSigned(const std::vector<std::string>& dnsNames,
                                const std::vector<std::string>& ipAddresses);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvtest
