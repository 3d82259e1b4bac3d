#include "xmldata.h"

#include <string>

#include "Felles.h"
#include "textfil.h"

namespace xmldata {

namespace {
XmlLogHookFn g_hook = nullptr;
}

void XmlLogMessage(std::int32_t number, std::string_view text) {
    if (g_hook != &XmlLogMessage || !textfil::VerboseLogging()) {
        return;
    }
    textfil::WriteLog("XML: " + std::to_string(number) + " " + felles::CutText(text, felles::kShortTextMax));
}

XmlLogHookFn XmlLogHook() {
    return g_hook;
}
void SetXmlLogHook(XmlLogHookFn hook) {
    g_hook = hook;
}
void Start() {
    g_hook = &XmlLogMessage;
}

} // namespace xmldata
