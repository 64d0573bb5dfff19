#include "platform/sockets/socket_errors.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace platform::sockets {
namespace {

struct ErrnoCode {
  int err;
  int code;
};

// Both directions read this one table; the first row of a code gives its system words.
constexpr ErrnoCode kCodes[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAEBADF},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {ENOTCONN, WSAENOTCONN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
};

// Codes of the name look-up, which has no errno.
const char* lookupWords(int code) {
  switch (code) {
    case WSAHOST_NOT_FOUND: return "host not found";
    case WSATRY_AGAIN: return "name server busy, try again";
    case WSANO_RECOVERY: return "name look-up failed";
    case WSANO_DATA: return "the name has no address";
    default: return nullptr;
  }
}

}  // namespace

int errorFromErrno(int err) {
  if (err == 0) return kNoError;
  for (const ErrnoCode& row : kCodes)
    if (row.err == err) return row.code;
  return WSAEINVAL;
}

std::string SocketErrorWords(int code) {
  if (const char* words = lookupWords(code)) return words;
  for (const ErrnoCode& row : kCodes) {
    if (row.code != code) continue;
    std::string words = std::strerror(row.err);
    if (!words.empty()) words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
    return words;
  }
  return "unknown error";
}

std::string SocketErrorText(int code) {
  return "Windows Sockets error " + std::to_string(code) + ": " + SocketErrorWords(code);
}

}  // namespace platform::sockets
