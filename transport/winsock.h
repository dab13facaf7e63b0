// The process-wide socket start-up that the tool runs once (start-up step 4) and its release. On Linux
// there is no library to start: the check is that a TCP/IPv4 stream socket can be made.
#pragma once

#include <cstdint>
#include <functional>

namespace quill {

// The WinSock error codes that the transports report to their owners and log by; owners compare against
// these, so a connect failure keeps its Windows number on Linux.
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEACCES = 10013;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;

// The nearest WinSock code for an errno; 0 stays 0, and an errno without a counterpart becomes
// WSABASEERR (10000) plus its value, which is never taken for a refusal.
int WinSockErrorFromErrno(int err);

// The reply of an asynchronous select as the window message carries it: the event in the low 16 bits, the
// error in the high 16 bits.
constexpr uint32_t FD_READ = 0x01;
constexpr uint32_t FD_WRITE = 0x02;
constexpr uint32_t FD_CONNECT = 0x10;
constexpr uint32_t FD_CLOSE = 0x20;
constexpr std::intptr_t WSAMAKESELECTREPLY(uint32_t event, int error) {
  return static_cast<std::intptr_t>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFF));
}
constexpr uint32_t WSAGETSELECTEVENT(std::intptr_t reply) { return static_cast<uint32_t>(reply) & 0xFFFF; }
constexpr int WSAGETSELECTERROR(std::intptr_t reply) {
  return static_cast<int>((static_cast<uint32_t>(reply) >> 16) & 0xFFFF);
}

// Returns 0 when a TCP/IPv4 stream socket can be made, else the errno of the failure.
using TcpProbe = std::function<int()>;
int ProbeTcpIpv4();

// True when the TCP/IPv4 stream protocol is usable ("WinSock2 Init\n"); on false it has released what it
// started ("WinSock2 Free\n").
bool InitWinSock2(const TcpProbe& probe = ProbeTcpIpv4);
void FreeWinSock2();

}  // namespace quill
