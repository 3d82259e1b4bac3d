// Windows Sockets error numbers and their texts: every socket failure of the client carries one of these
// numbers, on every platform, so the messages read the same everywhere.
#pragma once

#include <string>

namespace net {

// Windows Sockets numbers used by messages and by the client's own checks.
namespace wsa {
constexpr int Interrupted = 10004;
constexpr int InvalidArgument = 10022;
constexpr int WouldBlock = 10035;
constexpr int NotSocket = 10038;
constexpr int AddressFamilyNotSupported = 10047;
constexpr int AddressInUse = 10048;
constexpr int ConnectionAborted = 10053;
constexpr int ConnectionReset = 10054;
constexpr int Shutdown = 10058;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
} // namespace wsa

// The platform's error number as the matching Windows Sockets number; a number without a match stays as it is.
// On Windows every number is one already.
int WinsockErrorNumber(int platformError);
// The Windows Sockets number of the last failed socket call of this thread.
int LastSocketError();

// "Socket Error # n" CR LF and the number's text; a number without a text gets nothing after the line break.
std::string SocketErrorText(int number);

} // namespace net
