#include "common/TestCert.h"

#include <cstdlib>

bool MakeTestCertificate(const std::string& aDir, std::string& aCert, std::string& aKey) {
  aCert = aDir + "/cert.pem";
  aKey = aDir + "/key.pem";
  const std::string cmd =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout '" + aKey + "' -out '" + aCert +
      "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}
