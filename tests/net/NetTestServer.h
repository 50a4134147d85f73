#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "FileStore.h"
#include "ServerThread.h"
#include "common/TestPrefix.h"

// A prefix test with a running file store over a temporary folder.
class TNetTest : public TPrefixTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes a file below the served folder; returns its URL.
  std::string Serve(const std::string& aPath, const std::string& aData);
  static std::string Pattern(size_t aSize, unsigned aSeed = 1);
  // Self-signed certificate for 127.0.0.1 (made once per test with the openssl command).
  void MakeCertificate(std::string& aCert, std::string& aKey);
  std::string RootDir() const { return FRoot; }

  ov::standin::TFileStore FStore;

 private:
  std::string FRoot;
};

// Answers each request on 127.0.0.1 with a 200 announcing aBytes and then sends one byte
// every aIntervalMs, until destroyed.
class TTrickleServer {
 public:
  TTrickleServer(int aBytes, int aIntervalMs);
  ~TTrickleServer();
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

 private:
  std::atomic<bool> FStop{false};
  int FPort = 0;
  ov::standin::TServerThread FServer;  // last: stopped first, while the flag still lives
};
