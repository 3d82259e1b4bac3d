// The XML message hook: its unit sets it at start; no part of this system calls it.
#pragma once

#include <cstdint>
#include <string_view>

namespace xmldata {

using XmlLogHookFn = void (*)(std::int32_t number, std::string_view text);

void XmlLogMessage(std::int32_t number, std::string_view text);
XmlLogHookFn XmlLogHook();
void SetXmlLogHook(XmlLogHookFn hook);
// The unit's start: points the hook at XmlLogMessage.
void Start();

} // namespace xmldata
