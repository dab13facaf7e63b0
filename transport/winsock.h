// The process-wide socket start-up that the tool runs once (start-up step 4) and its release. On Linux
// there is no library to start: the check is that a TCP/IPv4 stream socket can be made.
#pragma once

#include <functional>

namespace quill {

// Returns 0 when a TCP/IPv4 stream socket can be made, else the errno of the failure.
using TcpProbe = std::function<int()>;
int ProbeTcpIpv4();

// True when the TCP/IPv4 stream protocol is usable ("WinSock2 Init\n"); on false it has released what it
// started ("WinSock2 Free\n").
bool InitWinSock2(const TcpProbe& probe = ProbeTcpIpv4);
void FreeWinSock2();

}  // namespace quill
