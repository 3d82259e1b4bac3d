#include "textfil.h"

#include <iostream>
#include <vector>

#include "hs_reg.h"
#include "platform.h"

namespace textfil {

namespace {

// A closed or never-opened handle answers this, as the C library does for a bad stream.
int notOpen() {
    return platform::errorOf(platform::Failure::NotOpen);
}
// Lines kept while the log file's name is unknown; beyond this they are dropped.
constexpr std::size_t kPendingMax = 1000;

void defaultMessageBox(const std::string& caption, const std::string& text) {
    std::cerr << caption << ": " << text << '\n';
}

MessageBoxHook g_messageBox = defaultMessageBox;
std::string g_logFileName;
bool g_logToFile = false;
bool g_verboseLogging = false;
std::int32_t g_errorCount = 0;
std::int32_t g_warningCount = 0;
std::vector<std::string> g_pending;

void showBox(const std::string& text) {
    if (g_messageBox) {
        g_messageBox("FEIL", text);
    }
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string nowStamp() {
    return TimeStamp(platform::localNow());
}

void writePending() {
    std::vector<std::string> lines;
    lines.swap(g_pending);
    if (!g_logToFile || g_logFileName.empty()) {
        return;
    }
    for (const std::string& line : lines) {
        AppendLine(g_logFileName, line);
    }
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    g_messageBox = hook ? std::move(hook) : defaultMessageBox;
}

int OpenAppend(TextFile& file, const std::string& name) {
    file.name = name;
    file.buffer.clear();
    // Only an existing file: appending must not create one (that is CreateNew's job).
    const int code = platform::openFile(name, platform::Access::Append, platform::Create::Never, file.file);
    if (code != 0) {
        showBox("Feil under åpning av " + name + "  (" + std::to_string(code) + ")");
    }
    return code;
}

int CreateNew(TextFile& file, const std::string& name) {
    file.name = name;
    file.buffer.clear();
    const int code = platform::openFile(name, platform::Access::Write, platform::Create::Replacing, file.file);
    if (code != 0) {
        showBox("Feil under oppretting av ny fil: " + name + "  (" + std::to_string(code) + ")");
    }
    return code;
}

int PutLine(TextFile& file, std::string_view text) {
    if (!file.file.isOpen()) {
        return notOpen();
    }
    file.buffer += text;
    file.buffer += "\r\n";
    return 0;
}

int CloseText(TextFile& file) {
    int code = notOpen();
    if (file.file.isOpen()) {
        code = platform::writeAll(file.file, file.buffer);
        const int closed = file.file.close();
        code = code != 0 ? code : closed;
    }
    file.buffer.clear();
    if (code != 0) {
        showBox("Feil under lukking av fil");
    }
    return code;
}

int AppendLine(const std::string& name, std::string_view text) {
    TextFile file;
    if (platform::fileExists(name) || platform::folderExists(name)) {
        OpenAppend(file, name);
    } else {
        CreateNew(file, name);
    }
    PutLine(file, text);
    return CloseText(file);
}

std::string TimeStamp(const std::tm& local) {
    std::string stamp = platform::shortDateText(local);
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0) {
        stamp += ' ';
        stamp += platform::longTimeText(local);
    }
    return stamp;
}

int WriteLog(std::string_view message) {
    if (!g_logToFile) {
        return -1;
    }
    std::string line = nowStamp();
    line += ' ';
    line += message;
    int code = 0;
    if (g_logFileName.empty()) {
        // Early in start-up: keep the line until start-up knows where the log goes.
        if (g_pending.size() < kPendingMax) {
            g_pending.push_back(std::move(line));
        }
    } else {
        code = AppendLine(g_logFileName, line);
    }
    if (startsWith(message, "ERROR:") || startsWith(message, "FEIL:")) {
        ++g_errorCount;
    }
    if (startsWith(message, "WARNING:") || startsWith(message, "ADVARSEL:")) {
        ++g_warningCount;
    }
    return code;
}

void ClearLog() {
    TextFile file;
    CreateNew(file, g_logFileName);
    PutLine(file, nowStamp() + " LOGGFIL TØMT (TextFile.ClearLog).");
    CloseText(file);
    g_errorCount = 0;
}

void LogLogin() {
    // Asked in this order: user, computer, domain, address.
    const std::string user = hs_reg::networkuser();
    const std::string computer = hs_reg::computername();
    const std::string domain = hs_reg::domainname();
    const std::string address = hs_reg::ipaddress();
    WriteLog("LOGIN: " + user + "  node: " + computer + "." + domain + " IP:" + address);
}

const std::string& LogFileName() {
    return g_logFileName;
}

void SetLogFileName(std::string name) {
    g_logFileName = std::move(name);
    if (!g_logFileName.empty() && !g_pending.empty()) {
        writePending();
    }
}

bool LogToFile() {
    return g_logToFile;
}
void SetLogToFile(bool on) {
    g_logToFile = on;
}
bool VerboseLogging() {
    return g_verboseLogging;
}
void SetVerboseLogging(bool on) {
    g_verboseLogging = on;
}
std::int32_t ErrorCount() {
    return g_errorCount;
}
std::int32_t WarningCount() {
    return g_warningCount;
}

void ResetLogState() {
    g_logFileName.clear();
    g_logToFile = false;
    g_verboseLogging = false;
    g_errorCount = 0;
    g_warningCount = 0;
    g_pending.clear();
}

} // namespace textfil
