#include "tests/support/tls_authority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <fstream>
#include <stdexcept>

namespace orvtest {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

Key NewKey() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) throw std::runtime_error("key generation failed");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) throw std::runtime_error("bad extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// Serial numbers differ within a run, so a client never confuses two certificates.
long NextSerial() {
  static std::atomic<long> serial{1000};
  return ++serial;
}

Cert NewCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
                    bool authority, const std::string& altNames) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), NextSerial());
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Orvanta tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509* signer = issuer != nullptr ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  if (authority) {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  } else {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
    if (!altNames.empty()) AddExtension(cert.get(), signer, NID_subject_alt_name, altNames);
  }
  if (X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) throw std::runtime_error("signing failed");
  return cert;
}

std::string Pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

std::string Pem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

std::string AltNames(const std::vector<std::string>& dnsNames, const std::vector<std::string>& ips) {
  std::string s;
  for (const auto& d : dnsNames) s += (s.empty() ? "" : ",") + std::string("DNS:") + d;
  for (const auto& i : ips) s += (s.empty() ? "" : ",") + std::string("IP:") + i;
  return s;
}

}  // namespace

struct TestAuthority::Impl {
  Key key;
  Cert cert;
};

TestAuthority::TestAuthority(const std::string& commonName) : impl_(std::make_unique<Impl>()) {
  impl_->key = NewKey();
  impl_->cert = NewCertificate(impl_->key.get(), commonName, nullptr, impl_->key.get(), true, {});
}

TestAuthority::~TestAuthority() = default;

std::string TestAuthority::CertificatePem() const { return Pem(impl_->cert.get()); }

bool TestAuthority::WriteBundle(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << CertificatePem();
  return static_cast<bool>(out.flush());
}

TlsIdentity TestAuthority::Issue(const std::vector<std::string>& dnsNames,
                                 const std::vector<std::string>& ipAddresses) const {
  Key key = NewKey();
  const std::string cn = dnsNames.empty() ? (ipAddresses.empty() ? "server" : ipAddresses[0]) : dnsNames[0];
  Cert cert = NewCertificate(key.get(), cn, impl_->cert.get(), impl_->key.get(), false,
                             AltNames(dnsNames, ipAddresses));
  return {Pem(cert.get()), Pem(key.get())};
}

TlsIdentity TestAuthority::SelfSigned(const std::vector<std::string>& dnsNames,
                                      const std::vector<std::string>& ipAddresses) {
  Key key = NewKey();
  const std::string cn = dnsNames.empty() ? (ipAddresses.empty() ? "server" : ipAddresses[0]) : dnsNames[0];
  Cert cert = NewCertificate(key.get(), cn, nullptr, key.get(), false, AltNames(dnsNames, ipAddresses));
  return {Pem(cert.get()), Pem(key.get())};
}

}  // namespace orvtest
