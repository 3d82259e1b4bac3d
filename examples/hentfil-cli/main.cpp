// A host program without a GUI in a few lines: start the support library, fetch one file with the
// transfer core, stop the library. It needs neither Qt nor a display. Usage: hentfil-cli FIL [MAPPE]
#include <NetFTP.h>
#include <ftpstate.h>
#include <ftptransfer.h>
#include <hs_reg.h>

#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::cout << "Bruk: hentfil-cli FIL [MAPPE]\n"
                     "Henter FIL fra mappen MAPPE på FTP-serveren i SOLVEMAR.INI.\n";
        return argc < 2 ? 2 : 0;
    }

    hs_reg::Startup({}); // SOLVEMAR.INI, folder tree, log
    net::TNetFTP client;
    ftpunit::TransferObserver quiet; // no progress shown
    ftpunit::Transfer transfer(client, quiet);

    ftpunit::setFtpmappe(argc > 2 ? argv[2] : "");
    transfer.HentFil(std::filesystem::absolute(argv[1]).string());
    const bool done = ftpunit::LastOutcome() == ftpunit::Outcome::Completed;
    if (!done)
        std::cerr << "hentfil-cli: filen ble ikke hentet (ftpfeil " << ftpunit::ftpfeil() << ")\n";

    hs_reg::Shutdown(); // INI file written back, summary logged
    ftpunit::Stop();
    return done ? 0 : 1;
}
