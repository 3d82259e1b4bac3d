// The TLS backend on Schannel, the system's own TLS on Windows, reached through SSPI's table of functions.
// Every call goes through the one table below, so that a test can watch the calls: which credentials and
// target name each connection's handshake uses decides whether Windows resumes the control connection's
// session.
#pragma once

#include "NetTls.h"

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <winsock2.h>

#include <windows.h>

#include <security.h>

namespace net {

// The table of the system's security library that the backend calls through: a copy of the system's, whose
// entries a test may wrap.
SecurityFunctionTableW& Sspi();

} // namespace net
