#include "Terminal.h"

#ifdef _WIN32
#include "platform.h"

#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// The console behind stream; null when stream goes elsewhere. _isatty would not do: it takes the null
// device for a terminal as well.
HANDLE consoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}
#endif

} // namespace

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return consoleOf(stream) != nullptr;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

void WriteText(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        const std::wstring wide = platform::wideText(text);
        DWORD written = 0;
        ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}
