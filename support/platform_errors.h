// Each system's error numbers that the portable code acts on, by cause: platform_posix.cpp and
// platform_windows.cpp give their table, and failureOf and errorOf read it.
#pragma once

#include "platform.h"

#include <span>

namespace platform::detail {

struct ErrorRow {
    int number;
    Failure failure;
};

// The first row of a cause gives its number.
std::span<const ErrorRow> errorRows();
// The number of a cause without a row.
int otherErrorNumber();

} // namespace platform::detail
