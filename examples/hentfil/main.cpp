// A host program of the maker in a few lines: start the support library, fetch one file with the
// FTP transfer window, stop the library. Usage: hentfil-eksempel FIL [MAPPE]
#include <ftpunit.h>
#include <hs_reg.h>
#include <serveroppsett.h>

#ifndef _WIN32
#include <QApplication>
#endif

#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
#ifndef _WIN32
    QApplication app(argc, argv); // the Qt face's windows need it; the Win32 face's need nothing of the kind
#endif
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::cout << "Bruk: hentfil-eksempel FIL [MAPPE]\n"
                     "Henter FIL fra mappen MAPPE på FTP-serveren i SOLVEMAR.INI.\n";
        return argc < 2 ? 2 : 0;
    }

    hs_reg::Startup({});                        // SOLVEMAR.INI, folder tree, log
    serveroppsett::TServerOppsettForm settings; // shown only when the FTP entry has no server
    ftpunit::TFTPform window;
    ftpunit::setSettingsDialog(
        [&](const std::string& caption, const std::string& kind) { settings.VisServerOppsett(caption, kind); });

    ftpunit::setFtpmappe(argc > 2 ? argv[2] : "");
    window.HentFil(std::filesystem::absolute(argv[1]).string());
    const bool done = ftpunit::LastOutcome() == ftpunit::Outcome::Completed;
    if (!done)
        std::cerr << "hentfil-eksempel: filen ble ikke hentet (ftpfeil " << ftpunit::ftpfeil() << ")\n";

    hs_reg::Shutdown(); // INI file written back, summary logged
    ftpunit::Stop();
    return done ? 0 : 1;
}
