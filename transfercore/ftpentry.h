// The FTP entry "SERVER-SETTING-FTP" of SOLVEMAR.INI and the connection settings loaded from it.
//
// The settings dialog belongs to the program's GUI, if it has one: the program wires it with
// setSettingsDialog, and SjekkFTPOppsett opens it through that one seam.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ftpunit {

inline constexpr std::string_view kFtpSection = "SERVER-SETTING-FTP";
// The maker's download server and the guest login of public FTP servers.
inline constexpr std::string_view kDefaultServer = "ftp.solvemar.no";
inline constexpr std::string_view kGuestUser = "anonymous";
inline constexpr std::string_view kGuestPassword = "besokende";
inline constexpr std::int32_t kDefaultPort = 21;

// Loads server, username, password (unscrambled), port, the flags passive and SSL and the key sslca of
// the FTP entry; a missing key empties its variable (the port reads 0, a flag clear).
void LesFTPOppsett();
// Why the entry as last loaded cannot be used, in the words of a log line: a port outside 0 to 65535, or an
// SSL that is present but no number ("ja", "true"). Empty when it can; the operations then refuse before
// connecting. A missing, empty or non-numeric port still means port 21.
const std::string& EntryProblem();
// Writes the default FTP entry; the password scrambled.
void SkrivFTPStandard();
// Loads the entry; with no server, writes the defaults and lets the user check them in the settings
// dialog first. An empty user name or password falls back to the guest login (not written back).
void SjekkFTPOppsett();

// Shows the settings dialog for the entry of a kind ("FTP") modally, under the caption, and returns
// when the user has closed it (which saves the entry).
using SettingsDialog = std::function<void(const std::string& caption, const std::string& kind)>;
// Wires the dialog SjekkFTPOppsett opens. With none wired, the defaults are written and used as they
// are, as when the user closes the dialog without a change.
void setSettingsDialog(SettingsDialog dialog);
const SettingsDialog& settingsDialog();

const std::string& ftpserver();
const std::string& ftpbruker();
const std::string& ftppassord();
std::int32_t ftpport();
// The port the client connects to: ftpport when above 0, else 21.
std::int32_t ConnectPort();
// Passive mode for every transfer, whatever the entry says (a host program's option); false leaves
// the choice to the entry.
void setForcePassive(bool force);
// True when transfers open their data connection in passive mode (PASV): the entry's flag passive
// is set, or a host program forced it. Otherwise active mode (PORT).
bool PassiveMode();
// The entry's flag SSL: the session is protected with TLS (explicit FTPS), with the server's certificate
// verified, or it does not happen; nothing goes in clear text.
bool ftpssl();
// The entry's key sslca as written: a PEM file of certificates to trust instead of the system's.
const std::string& ftpsslca();
// The file of sslca that the client reads: a relative name is taken from the folder of SOLVEMAR.INI.
// Empty when the key is: the system's certificates.
std::string TrustedCertificatesFile();

} // namespace ftpunit
