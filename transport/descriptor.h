// An owned file descriptor, closed when the object goes.
//
// An I/O thread that is given up after its stop limit may still be about to use its descriptor. Closing
// the number would let the next open() reuse it under that thread's feet, so the forced stop Neutralise()s
// it instead: the device or socket is released at once (the number now refers to /dev/null, on which the
// thread's next call fails or finds nothing), and the number itself is closed with the shared state that
// owns it, when the last thread lets go.
#pragma once

#include <atomic>

namespace quill {

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  void Close();
  // Releases what the descriptor refers to but keeps the number reserved (see above). False when
  // /dev/null could not be put in its place; the descriptor is then closed outright.
  bool Neutralise();

 private:
  std::atomic<int> fd_{-1};  // read by a thread that may be given up while its owner neutralises it
};

}  // namespace quill
