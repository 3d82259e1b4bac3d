// The log file: one line per call, opened and closed each time, errors and warnings counted.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "platform.h"

namespace textfil {

// A text-file handle owned by the caller; the operations below bind, open and close it. Lines are
// kept until the close writes them out, as a buffered file does.
struct TextFile {
    platform::FileHandle file;
    std::string name;
    std::string buffer;
};

// How the log module shows its "FEIL" boxes. The GUI sets a Qt message box; without a GUI the
// default writes the caption and text to standard error.
using MessageBoxHook = std::function<void(const std::string& caption, const std::string& text)>;
void SetMessageBoxHook(MessageBoxHook hook);

int OpenAppend(TextFile& file, const std::string& name);
int CreateNew(TextFile& file, const std::string& name);
int PutLine(TextFile& file, std::string_view text);
int CloseText(TextFile& file);
int AppendLine(const std::string& name, std::string_view text);

// Lines logged while LogFileName is still empty (early in start-up) are kept, and written when the
// name is set, provided the LogToFile switch is still on then; otherwise they are dropped.
int WriteLog(std::string_view message);
void ClearLog();
void LogLogin();

// Module state behind the operations.
const std::string& LogFileName();
void SetLogFileName(std::string name);
bool LogToFile();
void SetLogToFile(bool on);
bool VerboseLogging();
void SetVerboseLogging(bool on);
std::int32_t ErrorCount();
std::int32_t WarningCount();

// The log's time stamp for a local time: the user's short date, a blank and the time with seconds,
// the time left out when it is 00:00:00 (patterns of the current LC_TIME locale, see platform.h).
std::string TimeStamp(const std::tm& local);

// Back to the start values, for tests.
void ResetLogState();

} // namespace textfil
