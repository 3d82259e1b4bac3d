// What pytagoras.exe does around its windows: the command line in the system's encoding, the log's
// "FEIL" boxes, and the windows created at start.
#pragma once

#include "ftpunit.h"
#include "input.h"
#include "serveroppsett.h"
#include "textfil.h"
#include "trekant.h"

#include <string>
#include <vector>

namespace program {

// The parameters after the program name, from the wide command line, in the ANSI code page.
std::vector<std::string> CommandLineArguments();

// The log's "FEIL" boxes as Windows message boxes.
textfil::MessageBoxHook MessageBoxes();

// The windows of the program, made in this order at start; all but the first stay hidden until
// something shows them. While they exist, LesInput asks in a TInputForm over the triangle window and
// the transfer unit opens this settings dialog when the FTP entry has no server.
struct Windows {
    Windows();
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    trekant::TPytagorasForm PytagorasForm;
    input::TInputForm InputForm{PytagorasForm.Handle};
    serveroppsett::TServerOppsettForm ServerOppsettForm{PytagorasForm.Handle};
    ftpunit::TFTPform FTPform;
};

} // namespace program
