#include "common/TestCert.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>

#include "common/TestHost.h"

namespace {

template <class T, void (*F)(T*)>
struct TFree {
  void operator()(T* p) const { F(p); }
};
using TKey = std::unique_ptr<EVP_PKEY, TFree<EVP_PKEY, EVP_PKEY_free>>;
using TCert = std::unique_ptr<X509, TFree<X509, X509_free>>;
using TExt = std::unique_ptr<X509_EXTENSION, TFree<X509_EXTENSION, X509_EXTENSION_free>>;

using TBio = std::unique_ptr<BIO, TFree<BIO, BIO_free_all>>;

// The PEM text that aWrite puts into a memory BIO, written to aPath.
template <class W>
bool WritePem(const std::string& aPath, W aWrite) {
  TBio bio(BIO_new(BIO_s_mem()));
  if (!bio || !aWrite(bio.get())) return false;
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  std::ofstream out(ovtest::FsPath(aPath), std::ios::binary | std::ios::trunc);
  out.write(data, n);
  return static_cast<bool>(out);
}

}  // namespace

bool MakeTestCertificate(const std::string& aDir, std::string& aCert, std::string& aKey) {
  aCert = aDir + "/cert.pem";
  aKey = aDir + "/key.pem";
  TKey key(EVP_RSA_gen(2048));
  TCert cert(X509_new());
  if (!key || !cert) return false;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2L * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  TExt san(X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1"));
  if (!san || !X509_add_ext(cert.get(), san.get(), -1) ||
      !X509_sign(cert.get(), key.get(), EVP_sha256())) {
    return false;
  }
  return WritePem(aCert, [&](BIO* b) { return PEM_write_bio_X509(b, cert.get()) == 1; }) &&
         WritePem(aKey, [&](BIO* b) {
           return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
                  1;
         });
}
