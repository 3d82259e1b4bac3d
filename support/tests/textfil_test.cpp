#include <sys/stat.h>

#include <clocale>
#include <cstdio>

#include "SupportFixture.h"
#include "platform.h"
#include "xmldata.h"

namespace supporttest {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

class LogTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        m_log = (m_env.work() / "test.log").string();
        textfil::SetLogFileName(m_log);
    }
    std::string m_log;
};

TEST_F(LogTest, SwitchOffWritesAndCountsNothing) {
    WriteFileBytes(m_log, "old\r\n");
    EXPECT_EQ(textfil::WriteLog("FEIL: x"), -1);
    EXPECT_EQ(ReadFileBytes(m_log), "old\r\n");
    EXPECT_EQ(textfil::ErrorCount(), 0);
}

TEST_F(LogTest, FirstLineCreatesTheFileAndLaterLinesAppend) {
    textfil::SetLogToFile(true);
    EXPECT_EQ(textfil::WriteLog("one"), 0);
    EXPECT_EQ(textfil::WriteLog("two æøå"), 0);
    EXPECT_EQ(LogMessagesOf(m_log), (std::vector<std::string>{"one", "two æøå"}));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogTest, CountingRules) {
    struct Row {
        const char* name;
        const char* message;
        int errors;
        int warnings;
    };
    const Row rows[] = {
        {"FEIL: is an error", "FEIL: kan ikke slette filen x", 1, 0},
        {"ERROR: is an error", "ERROR: x", 1, 0},
        {"ADVARSEL: is a warning", "ADVARSEL: x", 0, 1},
        {"WARNING: is a warning", "WARNING: x", 0, 1},
        {"blank before FEIL:", " FEIL: x", 0, 0},
        {"lower case feil:", "feil: x", 0, 0},
        {"Feil under", "Feil under åpning", 0, 0},
        {"FTP message", "FTP: Feil nr. 502, kunne ikke koble til", 0, 0},
        {"FEIL without colon", "FEIL x", 0, 0},
    };
    textfil::SetLogToFile(true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        textfil::ResetLogState();
        textfil::SetLogFileName(m_log);
        textfil::SetLogToFile(true);
        textfil::WriteLog(row.message);
        EXPECT_EQ(textfil::ErrorCount(), row.errors);
        EXPECT_EQ(textfil::WarningCount(), row.warnings);
    }
}

TEST_F(LogTest, UnwritableLogShowsTwoBoxesAndStillCounts) {
    textfil::SetLogToFile(true);
    textfil::SetLogFileName((m_env.work() / "missing-folder" / "x.log").string());
    EXPECT_NE(textfil::WriteLog("FEIL: x"), 0);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].rfind("FEIL|Feil under oppretting av ny fil: ", 0), 0u) << m_boxes[0];
    // The system's own number: a missing folder is ENOENT on POSIX, ERROR_PATH_NOT_FOUND on Windows.
#ifdef _WIN32
    EXPECT_NE(m_boxes[0].find("x.log  (3)"), std::string::npos) << m_boxes[0];
#else
    EXPECT_NE(m_boxes[0].find("x.log  (2)"), std::string::npos) << m_boxes[0];
#endif
    EXPECT_EQ(m_boxes[1], "FEIL|Feil under lukking av fil");
    EXPECT_EQ(textfil::ErrorCount(), 1);
}

#ifndef _WIN32
TEST_F(LogTest, LogThatIsAFifoFailsWithoutWaitingForAReader) {
    const fs::path fifo = m_env.work() / "fifo.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    textfil::SetLogToFile(true);
    textfil::SetLogFileName(fifo.string());
    EXPECT_NE(textfil::WriteLog("FEIL: x"), 0);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].rfind("FEIL|Feil under åpning av " + fifo.string(), 0), 0u) << m_boxes[0];
    EXPECT_TRUE(fs::is_fifo(fifo));
}
#endif

TEST_F(LogTest, ClearLogEmptiesEvenWhenLoggingIsOffAndResetsOnlyErrors) {
    WriteFileBytes(m_log, "old line\r\n");
    textfil::SetLogToFile(true);
    textfil::WriteLog("FEIL: a");
    textfil::WriteLog("ADVARSEL: b");
    textfil::SetLogToFile(false);
    textfil::ClearLog();
    EXPECT_EQ(LogMessagesOf(m_log), (std::vector<std::string>{"LOGGFIL TØMT (TextFile.ClearLog)."}));
    EXPECT_EQ(textfil::ErrorCount(), 0);
    EXPECT_EQ(textfil::WarningCount(), 1);
}

TEST_F(LogTest, LinesBeforeTheNameIsKnownAreKeptOrDropped) {
    textfil::ResetLogState();
    textfil::SetLogToFile(true);
    EXPECT_EQ(textfil::WriteLog("FEIL: early"), 0);
    EXPECT_EQ(textfil::ErrorCount(), 1);
    textfil::SetLogFileName(m_log);
    textfil::WriteLog("late");
    EXPECT_EQ(LogMessagesOf(m_log), (std::vector<std::string>{"FEIL: early", "late"}));

    // Logging turned off before the name is known: the kept lines are dropped.
    const std::string other = (m_env.work() / "other.log").string();
    textfil::ResetLogState();
    textfil::SetLogToFile(true);
    textfil::WriteLog("early");
    textfil::SetLogToFile(false);
    textfil::SetLogFileName(other);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogTest, LoginLine) {
    struct Row {
        const char* name;
        const char* domain;
        const char* ipOverride;
        const char* expected;
    };
    const Row rows[] = {
        {"domain and address", "firma.no", "", "LOGIN: ola  node: PC1.firma.no IP:10.1.2.3"},
        {"no domain gives no address", "", "", "LOGIN: ola  node: PC1. IP:"},
        {"-ip replaces the address", "", "192.168.0.9", "LOGIN: ola  node: PC1. IP:192.168.0.9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto reg = std::make_shared<hs_reg::MemoryRegistry>();
        reg->setText("Network\\Logon", "Username", "ola");
        reg->setText("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", "PC1");
        reg->setText("System\\CurrentControlSet\\Services\\TCPIP\\Parameters", "Domain", row.domain);
        reg->setText("System\\CurrentControlSet\\Services\\TCPIP\\Parameters\\Interfaces\\{A}", "IPAddress",
                     "10.1.2.3");
        hs_reg::setRegistry(reg);
        hs_reg::resetSystemInfo();
        hs_reg::setipoverride(row.ipOverride);
        hs_reg::setuseroverride("someone-else");
        std::remove(m_log.c_str());
        textfil::SetLogToFile(true);
        textfil::LogLogin();
        EXPECT_EQ(LogMessagesOf(m_log), std::vector<std::string>{row.expected});
    }
}

TEST_F(LogTest, XmlMessageOnlyThroughItsOwnHookAndWhenVerbose) {
    textfil::SetLogToFile(true);
    xmldata::Start();
    EXPECT_EQ(xmldata::XmlLogHook(), &xmldata::XmlLogMessage);
    xmldata::XmlLogMessage(7, "abc");
    textfil::SetVerboseLogging(true);
    xmldata::XmlLogMessage(7, "abc");
    xmldata::SetXmlLogHook(nullptr);
    xmldata::XmlLogMessage(8, "def");
    EXPECT_EQ(LogMessagesOf(m_log), std::vector<std::string>{"XML: 7 abc"});
}

// 08.12.2026 20:56:09, the moment every stamp test writes.
std::tm EveningOfTheEighthOfDecember() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 20;
    t.tm_min = 56;
    t.tm_sec = 9;
    return t;
}

#ifdef _WIN32
// Windows formats the stamp itself in the user's own short date and long time, whatever the C library's
// locale says; the test knows those settings only through what they make of a date and a time.
TEST(LogTimeStamp, ShortDateBlankTimeWithSecondsOfTheUserAndNoTimeAtMidnight) {
    std::tm t = EveningOfTheEighthOfDecember();
    const std::string date = platform::shortDateText(t);
    const std::string time = platform::longTimeText(t);
    EXPECT_NE(date.find("2026"), std::string::npos) << date;
    EXPECT_NE(date.find("12"), std::string::npos) << date;
    EXPECT_NE(time.find("56"), std::string::npos) << time;
    EXPECT_NE(time.find("09"), std::string::npos) << "the long time has the seconds: " << time;
    EXPECT_EQ(textfil::TimeStamp(t), date + " " + time);
    if (platform::shortDateText(t) == "08.12.2026" || platform::shortDateText(t) == "8.12.2026") {
        EXPECT_EQ(time, "20:56:09") << "Norwegian settings";
    }
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    EXPECT_EQ(textfil::TimeStamp(t), date);
    t.tm_sec = 1;
    EXPECT_EQ(textfil::TimeStamp(t), date + " " + platform::longTimeText(t));
}
#else
// Compiles a locale into folder with localedef (no root needed), where setlocale finds it through
// LOCPATH. The machine's own locales are not asked first: glibc remembers a failed look-up.
bool MakeLocale(const std::string& name, const fs::path& folder) {
    const std::string source = name.substr(0, name.find('.'));
    const int pid =
        testsupport::SpawnProcess({"/usr/bin/localedef", "-i", source, "-f", "UTF-8", (folder / name).string()});
    // localedef answers 1 for mere warnings; the locale is usable all the same.
    const int code = pid > 0 ? testsupport::WaitForExit(pid) : -1;
    return (code == 0 || code == 1) && fs::is_directory(folder / name);
}

TEST(LogTimeStamp, ShortDateBlankTimeWithSecondsOfTheLocaleAndNoTimeAtMidnight) {
    struct Row {
        const char* locale;
        const char* evening; // 2026-12-08 20:56:09
        const char* midnight;
        const char* secondAfterMidnight;
    };
    const Row rows[] = {
        {"C", "2026-12-08 20:56:09", "2026-12-08", "2026-12-08 00:00:01"},
        {"nb_NO.UTF-8", "08.12.2026 20:56:09", "08.12.2026", "08.12.2026 00:00:01"},
        {"POSIX", "2026-12-08 20:56:09", "2026-12-08", "2026-12-08 00:00:01"},
        // The narrow no-break space before AM and PM is the locale's own.
        {"en_US.UTF-8", "12/8/26 8:56:09\u202fPM", "12/8/26", "12/8/26 12:00:01\u202fAM"},
        {"C.UTF-8", "2026-12-08 20:56:09", "2026-12-08", "2026-12-08 00:00:01"},
    };
    testsupport::TempFolder locales;
    testsupport::ScopedEnv locpath("LOCPATH", locales.str());
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.locale);
        if (std::string_view(row.locale).find('_') != std::string_view::npos &&
            !MakeLocale(row.locale, locales.path())) {
            ADD_FAILURE() << "cannot make the locale (is the locales package installed?)";
            continue;
        }
        ASSERT_NE(std::setlocale(LC_TIME, row.locale), nullptr);
        std::tm t = EveningOfTheEighthOfDecember();
        EXPECT_EQ(textfil::TimeStamp(t), row.evening);
        t.tm_hour = 0;
        t.tm_min = 0;
        t.tm_sec = 0;
        EXPECT_EQ(textfil::TimeStamp(t), row.midnight);
        t.tm_sec = 1;
        EXPECT_EQ(textfil::TimeStamp(t), row.secondAfterMidnight);
    }
    std::setlocale(LC_TIME, saved.c_str());
}

#endif

} // namespace
} // namespace supporttest
