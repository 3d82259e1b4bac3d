// The FTP entry of SOLVEMAR.INI and the connection settings loaded from it.
#include "ftpentry.h"

#include "Felles.h"
#include "ftpmodule.h"
#include "hs_reg.h"

#include "platform.h"

#include <algorithm>

namespace ftpunit {

using detail::state;

namespace {

constexpr std::int32_t kHighestPort = 65535;

// Why the entry's port and SSL cannot be used as written; the section is selected. A port that is no number
// at all reads as 0, the default port, as it always has; a number the client cannot connect to must not
// reach another port, and an SSL that is not a number must not pass for clear.
std::string entryProblem() {
    const std::string port = hs_reg::readstr("port");
    const std::optional<std::int32_t> portNumber = hs_reg::readnumber("port");
    const std::size_t sign = !port.empty() && (port[0] == '-' || port[0] == '+') ? 1 : 0;
    const std::string_view digits = std::string_view(port).substr(sign);
    const bool beyondIntegers = !portNumber && !digits.empty() &&
                                std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (beyondIntegers || (portNumber && (*portNumber < 0 || *portNumber > kHighestPort))) {
        return "port=" + port + " i FTP-oppsettet er ingen gyldig port (0 til 65535); ingenting er sendt";
    }
    const std::string ssl = hs_reg::readstr("SSL");
    if (!ssl.empty() && !hs_reg::readnumber("SSL")) {
        return "SSL=" + ssl + " i FTP-oppsettet er ikke et tall (1: med TLS, 0: uten); ingenting er sendt";
    }
    return {};
}

} // namespace

void LesFTPOppsett() {
    auto& s = state();
    hs_reg::setsection(kFtpSection);
    s.ftpserver = felles::CutText(hs_reg::readstr("server"));
    s.ftpbruker = felles::CutText(hs_reg::readstr("username"));
    s.ftppassord = felles::CutText(felles::AvdekkTekst(hs_reg::readstr("password")));
    s.ftpport = hs_reg::readint("port");
    s.passive = hs_reg::readbool("passive");
    s.ssl = hs_reg::readbool("SSL");
    s.sslca = felles::CutText(hs_reg::readstr("sslca"));
    s.entryProblem = entryProblem();
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
        // A copy, so that wiring another dialog while this one is open cannot destroy the one running.
        const SettingsDialog dialog = state().settingsDialog;
        if (dialog) {
            dialog("Oppsett FTP-server", "FTP");
        }
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

void setSettingsDialog(SettingsDialog dialog) {
    state().settingsDialog = std::move(dialog);
}
const SettingsDialog& settingsDialog() {
    return state().settingsDialog;
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
bool ftpssl() {
    return state().ssl;
}
const std::string& EntryProblem() {
    return state().entryProblem;
}
const std::string& ftpsslca() {
    return state().sslca;
}
std::string TrustedCertificatesFile() {
    const std::string& file = state().sslca;
    // Beside SOLVEMAR.INI, not in whatever folder the program happens to start in (cron, a service).
    if (file.empty() || platform::isAbsolutePath(file)) {
        return file;
    }
    return hs_reg::IniFolder() + file;
}

} // namespace ftpunit
