// What a host program sets before a transfer and reads after it: the server folder, the error
// number and the finer outcome of the last operation.
#pragma once

#include <cstdint>
#include <string>

namespace ftpunit {

// The folder on the server, set by the caller before a transfer. SendFil appends a missing "/".
const std::string& ftpmappe();
void setFtpmappe(std::string folder);
// 0, or the error number of the last transfer: 502 (upload: connect or login), 501 (download:
// connect, login or size), 500 (download itself, or fewer bytes than the server announced).
std::int32_t ftpfeil();

// What became of the last operation, finer than ftpfeil (which stays 0 on the early aborts).
enum class Outcome {
    None,               // no operation yet
    Completed,          // uploaded, or downloaded and put in place of L
    LocalSizeUnknown,   // SendFil: L could not be opened for reading and writing
    RemoteFileNotFound, // HentFil: the server gave no size for R
    ConnectFailed,      // ftpfeil 502 or 501
    DownloadFailed,     // ftpfeil 500
    EmptyDownload,      // HentFil: T empty or unreadable; nothing moved
    NotPutInPlace,      // HentFil: T could not be renamed to L; the new version stays in T
    UploadFailed,       // SendFil: the upload raised; the exception went to the caller
};
Outcome LastOutcome();
// When the last operation could not connect or log in because the server refused it: the server's
// reply ("530 Login incorrect."), one line of at most 255 bytes, as logged. Otherwise empty (nothing
// listening, a time-out, or no such failure).
const std::string& ServerReply();
// When the last operation could not connect because the session could not be protected with TLS
// (the entry's SSL): why, in the words of the log line that follows the error number, without its
// "FTP: ". Otherwise empty.
const std::string& TlsRefusal();
// Why the last operation failed, one line, with the password (plain or scrambled) shown as "***": the
// server's reply (as ServerReply), why TLS failed (as TlsRefusal), or the client's or the system's words
// ("Socket Error # 10061 Connection refused."). The log has it on the line after the error line. Empty
// when the operation did not fail.
const std::string& FailureCause();

// The program's stop of this unit: empties ftpmappe.
void Stop();
// Back to the start values of every variable of this unit (the settings dialog unwired), for tests.
void ResetFtpState();

} // namespace ftpunit
