#pragma once
// The Windows Sockets error codes the controls report, and the mapping from errno.
#include <string>

namespace platform::sockets {

inline constexpr int kNoError = 0;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;            // unreadable buffer or byte array
inline constexpr int WSAEINVAL = 10022;            // port not open, unresolvable destination
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;      // no destination address
inline constexpr int WSAEMSGSIZE = 10040;          // datagram longer than the buffer
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAENOTCONN = 10057;          // also: a read that returned no bytes
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// errno of a failed socket call as a Windows Sockets code (unknown values give 10022).
int errorFromErrno(int err);

// The system's own words for a code: 10048 -> "address already in use".
std::string SocketErrorWords(int code);
// The code kept, the words added: "Windows Sockets error 10048: address already in use".
std::string SocketErrorText(int code);

}  // namespace platform::sockets
