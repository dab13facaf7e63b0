// The network link thread: a hidden window owning the TCP connection to the phone's loader. Requests
// arrive as thread messages from the main window; the phone's answers, recognised by the TCP answer rule,
// set the TCP acknowledgement event.
#pragma once

#include "link/answer_rules.h"
#include "platform/window_thread.h"
#include "transport/tcp_socket.h"

namespace quill {

class CRj45Window : public Window {
 public:
  ~CRj45Window() override { DestroyWindow(); }
  CTcpSocket& Socket() { return socket_; }
  TcpAnswerRule& Rule() { return rule_; }

 protected:
  // Connects to the phone at "Peer"/"IPAddress" (read now, so the address shown when the operation
  // started is the one used), port 8739. The window exists whatever the connect does.
  bool OnCreate() override;
  void OnDestroy() override { socket_.Hangup(); }
  void OnMessage(Message& m) override;

 private:
  CTcpSocket socket_;
  TcpAnswerRule rule_;
};

class CRj45Thread : public WindowThread {
 public:
  CRj45Thread();

 protected:
  bool InitInstance() override;
  void OnThreadMessage(Message& m) override;

 private:
  CRj45Window window_;
};

}  // namespace quill
