#include "ServerEntry.h"

#include "Felles.h"
#include "hs_reg.h"

#include <array>
#include <utility>

namespace serveroppsett {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kDefaultPorts{{
    {"FTP", "21"},
    {"HTTP", "80"},
    {"LOG", "80"},
    {"CFG", "21"},
    {"SMB", "445"},
    {"MAIL", "80"},
    {"RDP", "3389"},
}};

// The step from the check box "SSL" down to "Passiv", by which the dialog is taller too.
constexpr int kPassivRowHeight = 24;

constexpr ControlPlace kControls[] = {
    {"", ControlKind::Label, u8"Navn:", 56, 32, 0, 0},
    {"navn", ControlKind::Edit, u8"", 56, 48, 329, 21},
    {"", ControlKind::Label, u8"Server:", 56, 88, 0, 0},
    {"server", ControlKind::Edit, u8"", 56, 104, 329, 21},
    {"", ControlKind::Label, u8"Mappe:", 56, 144, 0, 0},
    {"mappe", ControlKind::Edit, u8"", 56, 160, 329, 21},
    {"", ControlKind::Label, u8"Brukernavn:", 56, 200, 0, 0},
    {"brukernavn", ControlKind::Edit, u8"", 56, 216, 97, 21},
    {"", ControlKind::Label, u8"Passord:", 160, 200, 0, 0},
    {"passord", ControlKind::PasswordEdit, u8"", 160, 216, 97, 21},
    {"", ControlKind::Label, u8"Port:", 264, 200, 0, 0},
    {"port", ControlKind::Edit, u8"", 264, 216, 57, 21},
    {"SSLL", ControlKind::CheckBox, u8"SSL", 336, 218, 49, 17},
    {"Passiv", ControlKind::CheckBox, u8"Passiv", 336, 218 + kPassivRowHeight, 65, 17},
};
static_assert(kClientHeight == 283 + kPassivRowHeight);

} // namespace

std::string SectionName(std::string_view kind) {
    return "SERVER-SETTING-" + std::string(kind);
}

std::string DefaultPort(std::string_view kind) {
    for (const auto& [type, defaultPort] : kDefaultPorts) {
        if (kind == type) {
            return std::string(defaultPort);
        }
    }
    return {};
}

void ServerOppsettModel::setServertype(std::string_view kind) {
    m_servertype = felles::CutText(kind);
}

ServerEntryFields ServerOppsettModel::FormShow() {
    hs_reg::setsection(SectionName(m_servertype));
    ServerEntryFields fields{
        hs_reg::readstr("name"),
        hs_reg::readstr("server"),
        hs_reg::readstr("folder"),
        hs_reg::readstr("username"),
        felles::AvdekkTekst(hs_reg::readstr("password")),
        hs_reg::readstr("port"),
        hs_reg::readbool("SSL"),
        hs_reg::readbool("passive"),
    };
    hs_reg::resetsection();
    m_unsaved = true;
    return fields;
}

bool ServerOppsettModel::FormClose(ServerEntryFields& fields) {
    if (!m_unsaved) {
        return false;
    }
    m_unsaved = false;
    if (fields.port.empty()) {
        fields.port = DefaultPort(m_servertype);
    }
    hs_reg::setsection(SectionName(m_servertype));
    hs_reg::writestr("name", felles::CutText(fields.navn));
    hs_reg::writestr("server", felles::CutText(fields.server));
    hs_reg::writestr("folder", felles::CutText(fields.mappe));
    hs_reg::writestr("username", felles::CutText(fields.brukernavn));
    hs_reg::writestr("password", felles::SkjulTekst(felles::CutText(fields.passord)));
    hs_reg::writestr("port", felles::CutText(fields.port));
    hs_reg::writebool("SSL", fields.SSLL);
    hs_reg::writebool("passive", fields.Passiv);
    hs_reg::resetsection();
    return true;
}

std::span<const ControlPlace> Controls() {
    return kControls;
}

} // namespace serveroppsett
