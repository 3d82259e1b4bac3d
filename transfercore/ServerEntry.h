// The server settings dialog without its widgets: the entry "SERVER-SETTING-" + kind of SOLVEMAR.INI
// as the dialog's controls show it, loaded when the dialog shows and saved exactly once when it goes,
// however it goes; and where each control sits. Each face draws the controls and hands the texts over.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace serveroppsett {

// The INI section of a server kind, "SERVER-SETTING-" + kind.
std::string SectionName(std::string_view kind);
// The port written when the port field is saved empty; empty for a kind outside the table. The kind
// is compared exactly, case included ("smb" has no default).
std::string DefaultPort(std::string_view kind);

// The dialog's controls as texts of the system's encoding; the password in plain text.
struct ServerEntryFields {
    std::string navn;
    std::string server;
    std::string mappe;
    std::string brukernavn;
    std::string passord;
    std::string port;
    bool SSLL = false;
    bool Passiv = false;
    friend bool operator==(const ServerEntryFields&, const ServerEntryFields&) = default;
};

// The dialog's state besides its controls: the kind it edits, and whether the showing is unsaved.
class ServerOppsettModel {
public:
    // VisServerOppsett: the kind (cut to 255 bytes) is kept until the next call.
    void setServertype(std::string_view kind);
    const std::string& servertype() const { return m_servertype; }

    // FormShow: every field from the kind's entry (a missing key empty or clear), the password
    // unscrambled. The showing is unsaved from here.
    ServerEntryFields FormShow();
    // FormClose: writes the fields to the kind's entry when the showing is unsaved, and then it is
    // not: each showing is saved exactly once, whichever way the dialog goes away. Texts are cut to
    // 255 bytes, the password is scrambled, and an empty port takes the kind's default (in fields
    // too, so that the field shows it). True when it saved.
    bool FormClose(ServerEntryFields& fields);
    bool unsaved() const { return m_unsaved; }

private:
    std::string m_servertype;
    bool m_unsaved = false;
};

// ---- Layout ---------------------------------------------------------------------------------------

// The fixed texts below are UTF-8 whatever the compiler's execution character set: a face converts.
inline constexpr std::u8string_view kDesignCaption = u8"Oppsett på server";
inline constexpr std::u8string_view kPassordTip = u8"Dobbelklikk for å skjule/vise passord i klartekst";
inline constexpr std::u8string_view kSslTip =
    u8"Krypterer innlogging og overføring med TLS (FTPS). Serverens sertifikat må kunne bekreftes mot "
    u8"systemets sertifikater eller filen i nøkkelen sslca.";

// The client area: the original 449 x 283, one row taller for "Passiv" under "SSL".
inline constexpr int kClientWidth = 449;
inline constexpr int kClientHeight = 307;

enum class ControlKind { Label, Edit, PasswordEdit, CheckBox };

struct ControlPlace {
    const char* name; // the control's name ("navn"); empty for a label
    ControlKind kind;
    std::u8string_view caption; // a label's or check box's text
    int left;
    int top;
    int width;
    int height; // 0 for a label: sized to its text
};

// Every control at its pixels; the edit fields and check boxes in tab order, each label before the
// field it names: "Navn:" navn, "Server:" server, "Mappe:" mappe, "Brukernavn:" brukernavn,
// "Passord:" passord (masked, the tip kPassordTip, a double click shows it), "Port:" port, SSLL
// ("SSL", the tip kSslTip), Passiv ("Passiv").
std::span<const ControlPlace> Controls();

} // namespace serveroppsett
