// solvemar-ftp: uploads or downloads one file with the transfer core, configured from the FTP entry
// of SOLVEMAR.INI, exactly as a host program of the support library does. It needs no display: on a
// terminal it draws the progress on one line of standard error.
//
//   solvemar-ftp send FILE [--mappe FOLDER] [--passiv]
//   solvemar-ftp hent FILE [--mappe FOLDER] [--passiv]
//
// Exit status: 0 when the transfer completed, 1 when it did not, 2 on wrong usage. Whatever goes
// to standard error is one line each time, so a caller can take it as the reason.
#include "Felles.h"
#include "Modules.h"
#include "ProgressLine.h"
#include "Terminal.h"
#include "ftpentry.h"
#include "ftplocal.h"
#include "ftpstate.h"
#include "ftptransfer.h"
#include "hs_reg.h"
#include "platform.h"

#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage = "Bruk: solvemar-ftp send FIL [--mappe MAPPE] [--passiv]\n"
                           "      solvemar-ftp hent FIL [--mappe MAPPE] [--passiv]\n";
const char* const kShortUsage = "Bruk: solvemar-ftp send|hent FIL [--mappe MAPPE] [--passiv]; se solvemar-ftp --help";

const char* const kHelp =
    "Laster en fil opp til eller ned fra FTP-serveren i SOLVEMAR.INI (seksjon SERVER-SETTING-FTP).\n"
    "I en terminal vises framdriften på én linje.\n"
    "\n"
    "  send FIL        laster opp FIL til mappen på serveren\n"
    "  hent FIL        henter filen med samme navn fra mappen på serveren og legger den på plass\n"
    "                  av FIL; forrige versjon beholdes med endelsen .old\n"
    "  --mappe MAPPE   mappen på serveren (ellers nøkkelen folder i FTP-oppsettet); uten den\n"
    "                  brukes innloggingsmappen\n"
    "  --passiv        passiv modus (PASV) for dataforbindelsen, også når FTP-oppsettet ikke\n"
    "                  har passive=1; nødvendig bak de fleste brannmurer og NAT-rutere\n"
    "  --help          viser denne teksten\n"
    "\n"
    "Støttebibliotekets valg --debug, -install, -ip VERDI og --user VERDI virker som for pytagoras.\n"
    "\n"
    "Avslutningskode: 0 når overføringen ble fullført, 1 når den ikke ble det (årsaken skrives på\n"
    "standard feil, på én linje), 2 ved feil bruk.\n";

enum class Operation { Send, Fetch };

struct Arguments {
    Operation operation = Operation::Send;
    std::string file;
    std::optional<std::string> folder;
    bool passive = false;
    bool help = false;
    std::string wrongUsage; // why the arguments cannot be used; empty when they can
};

// Writes one line to standard error, whatever line ends the message holds (a socket error's text
// has one): a caller reads the first line as the reason.
void printError(const std::string& message) {
    WriteText(stderr, "solvemar-ftp: " + felles::OneLine(message) + "\n");
}

Arguments parseArguments(const std::vector<std::string>& args) {
    Arguments result;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
        } else if (arg == "--mappe") {
            if (i + 1 >= args.size()) {
                result.wrongUsage = "--mappe mangler en verdi";
                return result;
            }
            result.folder = args[++i];
        } else if (arg.rfind("--mappe=", 0) == 0) {
            result.folder = arg.substr(8);
        } else if (arg == "--passiv") {
            result.passive = true;
        } else if (arg == "--debug" || arg == "-install") {
            // The support library's start-up reads these itself.
        } else if (arg == "-ip" || arg == "--user") {
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            result.wrongUsage = "ukjent valg " + arg;
            return result;
        } else {
            positional.push_back(arg);
        }
    }
    if (result.help) {
        return result;
    }
    if (positional.size() != 2 || (positional[0] != "send" && positional[0] != "hent") || positional[1].empty()) {
        result.wrongUsage = positional.empty() ? "mangler operasjon og fil" : "ugyldig bruk";
        return result;
    }
    result.operation = positional[0] == "send" ? Operation::Send : Operation::Fetch;
    result.file = positional[1];
    return result;
}

std::string folderKey() {
    hs_reg::setsection(ftpunit::kFtpSection);
    std::string folder = hs_reg::readstr("folder");
    hs_reg::resetsection();
    return folder;
}

// ": " and the cause of the failure, when one is known.
std::string because() {
    return ftpunit::FailureCause().empty() ? std::string() : ": " + ftpunit::FailureCause();
}

// One line naming ftpfeil and the cause; empty when the transfer completed.
std::string failureText(const std::string& L) {
    const std::string remote = ftpunit::ftpmappe() + ftpunit::FileNameOf(L);
    const std::string feil = "feil nr. " + std::to_string(ftpunit::ftpfeil());
    switch (ftpunit::LastOutcome()) {
    case ftpunit::Outcome::Completed:
        return {};
    case ftpunit::Outcome::LocalSizeUnknown:
        return "finner ikke filstørrelsen til " + L + " (" + ftpunit::FailureCause() + "); avbrutt";
    case ftpunit::Outcome::RemoteFileNotFound:
        return "finner ikke filen " + remote + " på " + ftpunit::ftpserver();
    case ftpunit::Outcome::ConnectFailed:
        // A refused login ends with the server's words in parentheses, as it always has.
        return feil + ": kunne ikke koble til " + ftpunit::ftpserver() + " som bruker " + ftpunit::ftpbruker() +
               (ftpunit::ServerReply().empty() ? because() : " (" + ftpunit::ServerReply() + ")");
    case ftpunit::Outcome::DownloadFailed:
        return feil + ": kunne ikke laste ned filen " + remote + because() + "; " + L + " er ikke endret";
    case ftpunit::Outcome::EmptyDownload:
        return "filen " + remote + " er tom; " + L + " er ikke endret";
    case ftpunit::Outcome::NotPutInPlace:
        return "kunne ikke legge den nye filen på plass" + because() + "; den ligger i " +
               ftpunit::CompanionFile(L, "tmp");
    case ftpunit::Outcome::UploadFailed:
        return "opplastingen av " + L + " feilet" + because();
    case ftpunit::Outcome::None:
        break;
    }
    return "overføringen ble ikke fullført";
}

// Why the default entry could not be written into SOLVEMAR.INI; empty when it was.
std::string defaultEntryNotWritten() {
    switch (hs_reg::iniUnwritable()) {
    case hs_reg::IniUnwritable::No:
        return hs_reg::saveIniFile() ? std::string() : "filen kunne ikke skrives";
    case hs_reg::IniUnwritable::ReadOnly:
        return "filen er skrivebeskyttet";
    case hs_reg::IniUnwritable::Unreadable:
        return "filen kunne ikke leses";
    case hs_reg::IniUnwritable::NotUnderstood:
        return "innholdet kunne ikke leses riktig, og filen skrives ikke over";
    }
    return "filen kunne ikke skrives";
}

int transfer(const Arguments& arguments) {
    // The platform's own conversion: on Windows the program's texts are in the ANSI code page.
    const std::string L = platform::absolutePath(arguments.file);

    ftpunit::LesFTPOppsett();
    if (ftpunit::ftpserver().empty()) {
        // Nobody is there to fill in a dialog: the default entry is written for the user to edit, now, so that
        // the message can say whether it was.
        ftpunit::SkrivFTPStandard();
        const std::string notWritten = defaultEntryNotWritten();
        const std::string missing =
            "FTP-oppsettet i " + hs_reg::IniFileName() + " hadde ingen server (seksjon SERVER-SETTING-FTP); ";
        printError(notWritten.empty() ? missing + "standardoppsettet er skrevet dit, rett det og prøv igjen"
                                      : missing + "standardoppsettet kunne ikke skrives dit (" + notWritten +
                                            "); fyll inn oppsettet og prøv igjen");
        return kExitFailed;
    }
    // HentFil joins folder and file name as they stand; a user who names a folder means the folder.
    std::string folder = arguments.folder ? *arguments.folder : folderKey();
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    ftpunit::setFtpmappe(folder);
    // The option only adds passive mode: without it the entry's flag decides.
    ftpunit::setForcePassive(arguments.passive);

    // Carriage returns would only clutter a log file or a pipe: there, the result line is all.
    ProgressLine progressLine(stderr);
    ftpunit::TransferObserver quiet;
    ftpunit::TransferObserver& observer = IsTerminal(stderr) ? progressLine : quiet;
    net::TNetFTP client;
    ftpunit::Transfer transfer(client, observer);

    try {
        if (arguments.operation == Operation::Send) {
            transfer.SendFil(L);
        } else {
            transfer.HentFil(L);
        }
    } catch (...) {
        // A failed upload reaches its caller; the transfer core has its cause (without the password).
        if (ftpunit::LastOutcome() != ftpunit::Outcome::UploadFailed) {
            throw;
        }
    }

    const std::string failure = failureText(L);
    if (!failure.empty()) {
        printError(failure);
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args = program::Arguments(argc, argv);
    const Arguments arguments = parseArguments(args);
    if (!arguments.wrongUsage.empty()) {
        printError(arguments.wrongUsage + ". " + kShortUsage);
        return kExitUsage;
    }
    if (arguments.help) {
        WriteText(stdout, std::string(kUsage) + "\n" + kHelp);
        return kExitOk;
    }

    // The modules start as in pytagoras (the support library's start-up last) and stop in
    // reverse when this scope ends: shut-down, then the transfer unit. The log's "FEIL" boxes
    // become lines of standard error, one line each.
    const program::Modules modules(
        args, [](const std::string& caption, const std::string& text) { printError(caption + ": " + text); });
    try {
        return transfer(arguments);
    } catch (const std::exception& e) {
        printError(e.what());
    }
    return kExitFailed;
}
