// The FTP entry of SOLVEMAR.INI and the connection settings loaded from it.
#include "Felles.h"
#include "ftpstate.h"
#include "ftpunit.h"
#include "hs_reg.h"
#include "serveroppsett.h"

namespace ftpunit {

namespace detail {

State& state() {
    static State s;
    return s;
}

} // namespace detail

using detail::state;

void LesFTPOppsett() {
    auto& s = state();
    hs_reg::setsection(kFtpSection);
    s.ftpserver = felles::CutText(hs_reg::readstr("server"));
    s.ftpbruker = felles::CutText(hs_reg::readstr("username"));
    s.ftppassord = felles::CutText(felles::AvdekkTekst(hs_reg::readstr("password")));
    s.ftpport = hs_reg::readint("port");
    s.passive = hs_reg::readbool("passive");
    hs_reg::resetsection();
}

void SkrivFTPStandard() {
    hs_reg::setsection(kFtpSection);
    hs_reg::writestr("name", "Solvemar FTP-server");
    hs_reg::writestr("server", kDefaultServer);
    hs_reg::writestr("folder", "");
    hs_reg::writestr("username", kGuestUser);
    hs_reg::writestr("password", felles::SkjulTekst(kGuestPassword));
    hs_reg::writeint("port", kDefaultPort);
    hs_reg::resetsection();
}

void SjekkFTPOppsett() {
    LesFTPOppsett();
    if (state().ftpserver.empty()) {
        SkrivFTPStandard();
        serveroppsett::VisServerOppsett("Oppsett FTP-server", "FTP");
        LesFTPOppsett();
    }
    auto& s = state();
    if (s.ftpbruker.empty()) {
        s.ftpbruker = kGuestUser;
    }
    if (s.ftppassord.empty()) {
        s.ftppassord = kGuestPassword;
    }
}

const std::string& ftpserver() {
    return state().ftpserver;
}
const std::string& ftpbruker() {
    return state().ftpbruker;
}
const std::string& ftppassord() {
    return state().ftppassord;
}
std::int32_t ftpport() {
    return state().ftpport;
}
std::int32_t ConnectPort() {
    return state().ftpport > 0 ? state().ftpport : kDefaultPort;
}
void setForcePassive(bool force) {
    state().forcePassive = force;
}
bool PassiveMode() {
    return state().passive || state().forcePassive;
}

const std::string& ftpmappe() {
    return state().ftpmappe;
}
void setFtpmappe(std::string folder) {
    state().ftpmappe = std::move(folder);
}
std::int32_t ftpfeil() {
    return state().ftpfeil;
}
Outcome LastOutcome() {
    return state().outcome;
}
const std::string& ServerReply() {
    return state().serverReply;
}

void Stop() {
    state().ftpmappe.clear();
}

void ResetFtpState() {
    state() = detail::State{};
}

} // namespace ftpunit
