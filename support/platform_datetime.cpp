// The local time, and the user's short date and time with seconds for the log's time stamps. On
// Linux the patterns come from ICU for the LC_TIME locale the program selected.
#include "platform.h"

#include <clocale>
#include <cstdio>
#include <memory>

#ifndef _WIN32
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
// FIXME: answer with the user's short date and long time (GetDateFormatEx, GetTimeFormatEx).
std::string shortDateText(const std::tm& local) {
    char buffer[64];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, "%x", &local));
}
std::string longTimeText(const std::tm& local) {
    char buffer[64];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, "%X", &local));
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
