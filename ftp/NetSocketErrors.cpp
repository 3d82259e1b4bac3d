#include "NetSocketErrors.h"

#include <cerrno>

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace net {

namespace {

struct SocketError {
    int number;        // Windows Sockets number
    int platformError; // the POSIX errno that maps onto it (on Windows: the number itself)
    const char* text;
};

// Windows reports these numbers itself; several of the POSIX names do not even exist there.
#ifdef _WIN32
#define SOCKET_ERROR_ROW(number, posixError, text)                                                                     \
    { number, number, text }
#else
#define SOCKET_ERROR_ROW(number, posixError, text)                                                                     \
    { number, posixError, text }
#endif

// A number with two POSIX errors has two rows; its text comes from the first.
constexpr SocketError kSocketErrors[] = {
    SOCKET_ERROR_ROW(10004, EINTR, "Interrupted system call."),
    SOCKET_ERROR_ROW(10009, EBADF, "Bad file number."),
    SOCKET_ERROR_ROW(10013, EACCES, "Access denied."),
    SOCKET_ERROR_ROW(10013, EPERM, "Access denied."),
    SOCKET_ERROR_ROW(10014, EFAULT, "Bad address."),
    SOCKET_ERROR_ROW(10022, EINVAL, "Invalid argument."),
    SOCKET_ERROR_ROW(10024, EMFILE, "Too many open files."),
    SOCKET_ERROR_ROW(10024, ENFILE, "Too many open files."),
    SOCKET_ERROR_ROW(10035, EWOULDBLOCK, "Operation would block. "),
    SOCKET_ERROR_ROW(10036, EINPROGRESS, "Operation now in progress."),
    SOCKET_ERROR_ROW(10037, EALREADY, "Operation already in progress."),
    SOCKET_ERROR_ROW(10038, ENOTSOCK, "Socket operation on non-socket."),
    SOCKET_ERROR_ROW(10039, EDESTADDRREQ, "Destination address required."),
    SOCKET_ERROR_ROW(10040, EMSGSIZE, "Message too long."),
    SOCKET_ERROR_ROW(10041, EPROTOTYPE, "Protocol wrong type for socket."),
    SOCKET_ERROR_ROW(10042, ENOPROTOOPT, "Bad protocol option."),
    SOCKET_ERROR_ROW(10043, EPROTONOSUPPORT, "Protocol not supported."),
    SOCKET_ERROR_ROW(10044, ESOCKTNOSUPPORT, "Socket type not supported."),
    SOCKET_ERROR_ROW(10045, EOPNOTSUPP, "Operation not supported on socket."),
    SOCKET_ERROR_ROW(10046, EPFNOSUPPORT, "Protocol family not supported."),
    SOCKET_ERROR_ROW(10047, EAFNOSUPPORT, "Address family not supported by protocol family."),
    SOCKET_ERROR_ROW(10048, EADDRINUSE, "Address already in use."),
    SOCKET_ERROR_ROW(10049, EADDRNOTAVAIL, "Cannot assign requested address."),
    SOCKET_ERROR_ROW(10050, ENETDOWN, "Network is down."),
    SOCKET_ERROR_ROW(10051, ENETUNREACH, "Network is unreachable."),
    SOCKET_ERROR_ROW(10052, ENETRESET, "Net dropped connection or reset."),
    SOCKET_ERROR_ROW(10053, ECONNABORTED, "Software caused connection abort."),
    SOCKET_ERROR_ROW(10054, ECONNRESET, "Connection reset by peer."),
    // A send after the peer's reset reports EPIPE on POSIX; Windows reports the reset itself.
    SOCKET_ERROR_ROW(10054, EPIPE, "Connection reset by peer."),
    SOCKET_ERROR_ROW(10055, ENOBUFS, "No buffer space available."),
    SOCKET_ERROR_ROW(10055, ENOMEM, "No buffer space available."),
    SOCKET_ERROR_ROW(10056, EISCONN, "Socket is already connected."),
    SOCKET_ERROR_ROW(10057, ENOTCONN, "Socket is not connected."),
    SOCKET_ERROR_ROW(10058, ESHUTDOWN, "Cannot send or receive after socket is closed."),
    SOCKET_ERROR_ROW(10059, ETOOMANYREFS, "Too many references, cannot splice."),
    SOCKET_ERROR_ROW(10060, ETIMEDOUT, "Connection timed out."),
    SOCKET_ERROR_ROW(10061, ECONNREFUSED, "Connection refused."),
    SOCKET_ERROR_ROW(10062, ELOOP, "Too many levels of symbolic links."),
    SOCKET_ERROR_ROW(10063, ENAMETOOLONG, "File name too long."),
    SOCKET_ERROR_ROW(10064, EHOSTDOWN, "Host is down."),
    SOCKET_ERROR_ROW(10065, EHOSTUNREACH, "No route to host."),
    SOCKET_ERROR_ROW(10066, ENOTEMPTY, "Directory not empty"),
};

} // namespace

int WinsockErrorNumber(int platformError) {
#ifdef _WIN32
    return platformError;
#else
    for (const SocketError& row : kSocketErrors) {
        if (row.platformError == platformError) {
            return row.number;
        }
    }
    return platformError;
#endif
}

int LastSocketError() {
#ifdef _WIN32
    return ::WSAGetLastError();
#else
    return WinsockErrorNumber(errno);
#endif
}

std::string SocketErrorText(int number) {
    for (const SocketError& row : kSocketErrors) {
        if (row.number == number) {
            return "Socket Error # " + std::to_string(number) + "\r\n" + row.text;
        }
    }
    return "Socket Error # " + std::to_string(number) + "\r\n";
}

} // namespace net
