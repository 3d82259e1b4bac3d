// The module state of the transfer unit, shared by the transfer core's source files (not for other
// units, which go through ftpentry.h and ftpstate.h).
#pragma once

#include "ftpentry.h"
#include "ftpstate.h"

#include <cstdint>
#include <string>

namespace ftpunit::detail {

struct State {
    // The connection settings start as the maker's defaults until the first LesFTPOppsett.
    std::string ftpserver{kDefaultServer};
    std::string ftpbruker{kGuestUser};
    std::string ftppassord{kGuestPassword};
    std::int32_t ftpport = kDefaultPort;
    bool passive = false;      // the entry's flag, loaded with it
    bool forcePassive = false; // set by the host program; loading the entry leaves it
    bool ssl = false;          // the entry's flag SSL
    std::string sslca;         // the entry's key sslca, as written
    std::string entryProblem;  // why the entry cannot be used as loaded; empty when it can
    std::string ftpmappe;
    std::int32_t ftpfeil = 0;
    Outcome outcome = Outcome::None;
    std::string serverReply;  // the refusing reply of a failed connect or login
    std::string tlsRefusal;   // why a session could not be protected
    std::string failureCause; // why the last operation failed, without the password
    SettingsDialog settingsDialog;
};

State& state();

} // namespace ftpunit::detail
