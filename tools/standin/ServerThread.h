#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace ov::standin {

// One cpp-httplib server on 127.0.0.1 served by a thread of its own.
class TServerThread {
 public:
  ~TServerThread() { Stop(); }

  // HTTPS when both files are given. False when the certificate cannot be loaded.
  bool Create(const std::string& aCertFile, const std::string& aKeyFile) {
    Stop();
    if (!aCertFile.empty() && !aKeyFile.empty()) {
      FServer = std::make_unique<httplib::SSLServer>(aCertFile.c_str(), aKeyFile.c_str());
    } else {
      FServer = std::make_unique<httplib::Server>();
    }
    if (!FServer->is_valid()) {
      FServer.reset();
      return false;
    }
    FServer->set_tcp_nodelay(true);  // small answers would otherwise wait on delayed ACKs
    return true;
  }
  httplib::Server& Server() { return *FServer; }

  // Binds the port (0 = ephemeral) and starts serving; the bound port, or -1.
  int Run(int aPort) {
    int port = aPort > 0 ? (FServer->bind_to_port("127.0.0.1", aPort) ? aPort : -1)
                         : FServer->bind_to_any_port("127.0.0.1");
    if (port <= 0) {
      FServer.reset();
      return -1;
    }
    FThread = std::thread([this] { FServer->listen_after_bind(); });
    // Connections queue on the bound socket until accepting starts; waiting briefly makes an
    // immediate Stop() safe.
    for (int i = 0; i < 500 && !FServer->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return port;
  }

  void Stop() {
    if (FServer) FServer->stop();
    if (FThread.joinable()) FThread.join();
    FServer.reset();
  }

 private:
  std::unique_ptr<httplib::Server> FServer;
  std::thread FThread;
};

}  // namespace ov::standin
