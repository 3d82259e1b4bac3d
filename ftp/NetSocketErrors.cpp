#include "NetSocketErrors.h"

#include <cerrno>

namespace net {

namespace {

struct SocketError {
    int number;        // Windows Sockets number
    int platformError; // the POSIX errno that maps onto it (on Windows: the number itself)
    const char* text;
};

// A number with two platform errors has two rows; its text comes from the first.
constexpr SocketError kSocketErrors[] = {
    {10004, EINTR, "Interrupted system call."},
    {10009, EBADF, "Bad file number."},
    {10013, EACCES, "Access denied."},
    {10013, EPERM, "Access denied."},
    {10014, EFAULT, "Bad address."},
    {10022, EINVAL, "Invalid argument."},
    {10024, EMFILE, "Too many open files."},
    {10024, ENFILE, "Too many open files."},
    {10035, EWOULDBLOCK, "Operation would block. "},
    {10036, EINPROGRESS, "Operation now in progress."},
    {10037, EALREADY, "Operation already in progress."},
    {10038, ENOTSOCK, "Socket operation on non-socket."},
    {10039, EDESTADDRREQ, "Destination address required."},
    {10040, EMSGSIZE, "Message too long."},
    {10041, EPROTOTYPE, "Protocol wrong type for socket."},
    {10042, ENOPROTOOPT, "Bad protocol option."},
    {10043, EPROTONOSUPPORT, "Protocol not supported."},
    {10044, ESOCKTNOSUPPORT, "Socket type not supported."},
    {10045, EOPNOTSUPP, "Operation not supported on socket."},
    {10046, EPFNOSUPPORT, "Protocol family not supported."},
    {10047, EAFNOSUPPORT, "Address family not supported by protocol family."},
    {10048, EADDRINUSE, "Address already in use."},
    {10049, EADDRNOTAVAIL, "Cannot assign requested address."},
    {10050, ENETDOWN, "Network is down."},
    {10051, ENETUNREACH, "Network is unreachable."},
    {10052, ENETRESET, "Net dropped connection or reset."},
    {10053, ECONNABORTED, "Software caused connection abort."},
    {10054, ECONNRESET, "Connection reset by peer."},
    // A send after the peer's reset reports EPIPE on POSIX; Windows reports the reset itself.
    {10054, EPIPE, "Connection reset by peer."},
    {10055, ENOBUFS, "No buffer space available."},
    {10055, ENOMEM, "No buffer space available."},
    {10056, EISCONN, "Socket is already connected."},
    {10057, ENOTCONN, "Socket is not connected."},
    {10058, ESHUTDOWN, "Cannot send or receive after socket is closed."},
    {10059, ETOOMANYREFS, "Too many references, cannot splice."},
    {10060, ETIMEDOUT, "Connection timed out."},
    {10061, ECONNREFUSED, "Connection refused."},
    {10062, ELOOP, "Too many levels of symbolic links."},
    {10063, ENAMETOOLONG, "File name too long."},
    {10064, EHOSTDOWN, "Host is down."},
    {10065, EHOSTUNREACH, "No route to host."},
    {10066, ENOTEMPTY, "Directory not empty"},
};

} // namespace

int WinsockErrorNumber(int platformError) {
    for (const SocketError& row : kSocketErrors) {
        if (row.platformError == platformError) {
            return row.number;
        }
    }
    return platformError;
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
