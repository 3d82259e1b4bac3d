// The FTP entry of SOLVEMAR.INI and the connection settings loaded from it.
#include "ftpentry.h"

#include "Felles.h"
#include "ftpmodule.h"
#include "hs_reg.h"

#include <filesystem>

namespace ftpunit {

using detail::state;

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
const std::string& ftpsslca() {
    return state().sslca;
}
std::string TrustedCertificatesFile() {
    const std::string& file = state().sslca;
    // Beside SOLVEMAR.INI, not in whatever folder the program happens to start in (cron, a service).
    if (file.empty() || std::filesystem::path(file).is_absolute()) {
        return file;
    }
    return hs_reg::IniFolder() + file;
}

} // namespace ftpunit
