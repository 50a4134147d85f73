#pragma once

#include <string>

// Writes a self-signed certificate for 127.0.0.1 (valid two days) and its key into aDir;
// false when that fails.
bool MakeTestCertificate(const std::string& aDir, std::string& aCert, std::string& aKey);
