// The network link thread: a hidden window owning the TCP connection to the phone's loader. Requests
// arrive as thread messages from the main window; the phone's answers, recognised by the TCP answer rule,
// set the TCP acknowledgement event.
#pragma once

#include <cstdint>

#include "link/answer_rules.h"
#include "platform/window_thread.h"
#include "transport/tcp_socket.h"

namespace quill {

class CRj45Window : public Window {
 public:
  explicit CRj45Window(uint32_t peer) : peer_(peer) {}
  ~CRj45Window() override { DestroyWindow(); }
  CTcpSocket& Socket() { return socket_; }
  TcpAnswerRule& Rule() { return rule_; }

 protected:
  // Connects to the phone the command was given, port 8739. The window exists whatever the connect does.
  bool OnCreate() override;
  void OnDestroy() override { socket_.Hangup(); }
  void OnMessage(Message& m) override;

 private:
  const uint32_t peer_;  // first octet most significant
  CTcpSocket socket_;
  TcpAnswerRule rule_;
};

class CRj45Thread : public WindowThread {
 public:
  // peer: the phone's address as the command received it, first octet most significant.
  explicit CRj45Thread(uint32_t peer);

 protected:
  bool InitInstance() override;
  void OnThreadMessage(Message& m) override;

 private:
  CRj45Window window_;
};

}  // namespace quill
