#pragma once

#include <string>

// Writes a self-signed certificate for 127.0.0.1 and its key into aDir (openssl command);
// false when the command fails.
bool MakeTestCertificate(const std::string& aDir, std::string& aCert, std::string& aKey);
