#include "transport/winsock.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/debug_log.h"

namespace quill {

int ProbeTcpIpv4() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) return errno ? errno : EAFNOSUPPORT;
  ::close(s);
  return 0;
}

bool InitWinSock2(const TcpProbe& probe) {
  int err = probe ? probe() : ProbeTcpIpv4();
  if (err == 0) {
    OutputDebugString("WinSock2 Init\n");
    return true;
  }
  switch (err) {
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
    case ESOCKTNOSUPPORT:
      // No TCP/IPv4 stream protocol on this machine: the enumeration found no matching entry.
      break;
    case ENOMEM:
    case ENOBUFS:
      OutputDebugString("malloc m_pProtocolsInfo failed\n");
      break;
    default:
      OutputDebugString("WSAEnumProtocols failed\n");
      break;
  }
  FreeWinSock2();
  return false;
}

void FreeWinSock2() { OutputDebugString("WinSock2 Free\n"); }

int WinSockErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case EWOULDBLOCK:
    case EINPROGRESS:
      return WSAEWOULDBLOCK;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ECONNABORTED:
      return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    default:
      return 10000 + err;
  }
}

}  // namespace quill
