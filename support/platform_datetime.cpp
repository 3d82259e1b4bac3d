// The local time, and the user's short date and time with seconds for the log's time stamps. On
// Linux the patterns come from ICU for the LC_TIME locale the program selected; Windows formats them
// itself in the user's own short date and long time.
#include "platform.h"

#include <clocale>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>
#endif

namespace platform {

#ifndef _WIN32
namespace {

// The C library's own date formats are not what the user reads on the desktop (no seconds in
// Norwegian, for one); ICU carries the patterns the desktop uses. Making a formatter costs far more
// than formatting, so the two are made once per LC_TIME locale and kept.
class DateTimeFormats {
public:
    std::string date(const std::tm& local) {
        // Log lines come in runs within one day: the day's text is kept until the day changes.
        select();
        const long day = (local.tm_year * 13L + local.tm_mon) * 32L + local.tm_mday;
        if (m_dateText.empty() || day != m_day) {
            m_dateText = format(local, Kind::Date);
            m_day = day;
        }
        return m_dateText;
    }
    std::string time(const std::tm& local) { return format(local, Kind::Time); }

private:
    enum class Kind { Date, Time };

    // "nb_NO.UTF-8@modifier" names ICU's nb_NO; the C and POSIX locales have no patterns of their
    // own, and ICU's root locale gives the neutral 2026-12-08 20:56:09.
    static icu::Locale icuLocale(std::string_view name) {
        const auto end = name.find_first_of(".@");
        const std::string_view base = name.substr(0, end);
        if (base.empty() || base == "C" || base == "POSIX") {
            return icu::Locale::getRoot();
        }
        return icu::Locale(std::string(base).c_str());
    }

    void select() {
        const char* current = std::setlocale(LC_TIME, nullptr);
        const std::string_view name = current ? current : "C";
        if (m_made && name == m_locale) {
            return;
        }
        m_locale.assign(name);
        m_made = true;
        m_dateText.clear();
        const icu::Locale locale = icuLocale(name);
        m_date.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
        m_time.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
        // The fields of the struct tm are shown as they are: the formatters work in UTC on a time
        // made from them in UTC, so no time zone or summer time shifts them.
        for (icu::DateFormat* format : {m_date.get(), m_time.get()}) {
            if (format != nullptr) {
                format->setTimeZone(*icu::TimeZone::getGMT());
            }
        }
    }

    std::string format(const std::tm& local, Kind kind) {
        select();
        icu::DateFormat* formatter = kind == Kind::Date ? m_date.get() : m_time.get();
        std::tm fields = local;
        const std::time_t seconds = ::timegm(&fields);
        std::string text;
        if (formatter != nullptr) {
            icu::UnicodeString out;
            formatter->format(static_cast<UDate>(seconds) * 1000.0, out);
            out.toUTF8String(text);
        }
        if (text.empty()) {
            // Without ICU's data the neutral form still gives the user a readable stamp.
            char buffer[32];
            const int n = kind == Kind::Date ? std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d",
                                                             fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday)
                                             : std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", fields.tm_hour,
                                                             fields.tm_min, fields.tm_sec);
            text.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        return text;
    }

    bool m_made = false;
    std::string m_locale;
    std::unique_ptr<icu::DateFormat> m_date;
    std::unique_ptr<icu::DateFormat> m_time;
    long m_day = 0;
    std::string m_dateText;
};

DateTimeFormats& dateTimeFormats() {
    static DateTimeFormats formats;
    return formats;
}

} // namespace
#endif

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

#ifdef _WIN32
namespace {

SYSTEMTIME systemTimeOf(const std::tm& local) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(local.tm_year + 1900);
    time.wMonth = static_cast<WORD>(local.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time.wDay = static_cast<WORD>(local.tm_mday);
    time.wHour = static_cast<WORD>(local.tm_hour);
    time.wMinute = static_cast<WORD>(local.tm_min);
    time.wSecond = static_cast<WORD>(local.tm_sec);
    return time;
}

} // namespace

// The user's settings, not a fixed pattern: under Norwegian settings 08.12.2026 and 20:56:09, the
// patterns the user reads everywhere else on the desktop. The long time is the one with seconds.
std::string shortDateText(const std::tm& local) {
    const SYSTEMTIME time = systemTimeOf(local);
    wchar_t text[128];
    const int length = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 128, nullptr);
    if (length > 1) {
        return narrowText(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
    }
    // A date the system will not format (out of its range) still gives the user a readable stamp.
    char neutral[32];
    const int n =
        std::snprintf(neutral, sizeof neutral, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return std::string(neutral, n > 0 ? static_cast<std::size_t>(n) : 0);
}
std::string longTimeText(const std::tm& local) {
    const SYSTEMTIME time = systemTimeOf(local);
    wchar_t text[128];
    const int length = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, text, 128);
    if (length > 1) {
        return narrowText(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
    }
    char neutral[32];
    const int n = std::snprintf(neutral, sizeof neutral, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(neutral, n > 0 ? static_cast<std::size_t>(n) : 0);
}
#else
std::string shortDateText(const std::tm& local) {
    return dateTimeFormats().date(local);
}
std::string longTimeText(const std::tm& local) {
    return dateTimeFormats().time(local);
}
#endif

} // namespace platform
