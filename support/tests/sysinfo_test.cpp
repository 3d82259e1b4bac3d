#include <clocale>

#include "SupportFixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace supporttest {
namespace {

constexpr const char* kParameters = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters";
constexpr const char* kInterfaces = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters\\Interfaces";

std::string Interface(const std::string& name) {
    return std::string(kInterfaces) + "\\" + name;
}

TEST_F(SupportTest, IpaddressSearch) {
    struct Row {
        const char* name;
        std::function<void(hs_reg::MemoryRegistry&)> fill;
        const char* expected;
    };
    const Row rows[] = {
        {"no domain gives empty text",
         [](hs_reg::MemoryRegistry& r) { r.setText(Interface("A"), "IPAddress", "10.0.0.1"); }, ""},
        {"DhcpDomain stands in for Domain",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "DhcpDomain", "d");
             r.setText(Interface("A"), "IPAddress", "10.0.0.1");
         },
         "10.0.0.1"},
        {"DHCP address first",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setText(Interface("A"), "IPAddress", "10.0.0.1");
             r.setText(Interface("A"), "DhcpIPAddress", "10.0.0.2");
         },
         "10.0.0.2"},
        {"DHCP 0.0.0.0 falls back to the fixed address",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setText(Interface("A"), "DhcpIPAddress", "0.0.0.0");
             r.setText(Interface("A"), "IPAddress", "10.0.0.1");
         },
         "10.0.0.1"},
        {"first interface in registry order wins",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setText(Interface("Z"), "IPAddress", "10.0.0.9");
             r.setText(Interface("A"), "IPAddress", "10.0.0.1");
         },
         "10.0.0.9"},
        {"list values are unreadable",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setTextList(Interface("A"), "IPAddress", {"10.0.0.1"});
             r.setText(Interface("B"), "DhcpIPAddress", "10.0.0.2");
         },
         "10.0.0.2"},
        {"binary DHCP value counts as 0.0.0.0",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setBinary(Interface("A"), "DhcpIPAddress");
             r.setText(Interface("A"), "IPAddress", "10.0.0.3");
         },
         "10.0.0.3"},
        {"no interface with an address",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setText(Interface("A"), "IPAddress", "0.0.0.0");
             r.addKey(Interface("B"));
         },
         "0.0.0.0"},
        {"interfaces key does not open",
         [](hs_reg::MemoryRegistry& r) {
             r.setText(kParameters, "Domain", "d");
             r.setText(Interface("A"), "IPAddress", "10.0.0.1");
             r.denyAccess(kInterfaces);
         },
         "0.0.0.0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto reg = std::make_shared<hs_reg::MemoryRegistry>();
        row.fill(*reg);
        hs_reg::setRegistry(reg);
        EXPECT_EQ(hs_reg::ipaddress(), row.expected);
    }
}

TEST_F(SupportTest, IpOverrideWinsWithoutDomainAndIsCutTo15) {
    hs_reg::setipoverride("192.168.100.100.extra");
    EXPECT_EQ(hs_reg::ipaddress(), "192.168.100.100");
}

TEST_F(SupportTest, ActiveUser) {
#ifndef _WIN32
    // Windows takes the capitals from the user's settings; here they come from the C library's locale.
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
#endif
    struct Row {
        const char* name;
        const char* registryUser;
        std::string override;
        std::string expected;
    };
    const Row rows[] = {
        {"override in capitals", "kari", "ola", "OLA"},
        {"registry user", "kari", "", "KARI"},
        {"Norwegian letters", "bjørn-åge æ", "", "BJØRN-ÅGE Æ"},
        {"empty user name", "", "", "BRUKER"},
        {"long override cut to 63", "", std::string(70, 'a'), std::string(63, 'A')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        hs_reg::resetSystemInfo();
        m_registry->setText("Network\\Logon", "Username", row.registryUser);
        hs_reg::setuseroverride(row.override);
        EXPECT_EQ(hs_reg::activeuser(), row.expected);
    }
#ifndef _WIN32
    std::setlocale(LC_CTYPE, saved.c_str());
#endif
}

TEST_F(SupportTest, ActiveUserIsFoundOnce) {
    m_registry->setText("Network\\Logon", "Username", "ola");
    EXPECT_EQ(hs_reg::activeuser(), "OLA");
    m_registry->setText("Network\\Logon", "Username", "kari");
    EXPECT_EQ(hs_reg::activeuser(), "OLA");
}

TEST_F(SupportTest, NetworkUserFallsBackToUsernameWhenTheKeyDoesNotOpen) {
    testsupport::ScopedEnv username("USERNAME", "envuser");
    EXPECT_EQ(hs_reg::networkuser(), "envuser") << "no such key";
    m_registry->setText("Network\\Logon", "Username", "ola");
    EXPECT_EQ(hs_reg::networkuser(), "ola");
    m_registry->denyAccess("Network\\Logon");
    EXPECT_EQ(hs_reg::networkuser(), "envuser");
}

#ifdef _WIN32
// A key of the test's own below HKEY_CURRENT_USER, standing in for HKEY_LOCAL_MACHINE; removed afterwards.
class TestKey {
public:
    TestKey() : m_base("Software\\Solvemar-test-" + std::to_string(platform::processId())) {}
    ~TestKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, platform::wideText(m_base).c_str()); }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    const std::string& base() const { return m_base; }
    // A value of the given type; the data are a text (or, for REG_MULTI_SZ, texts split at "|").
    void set(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
        HKEY handle = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, platform::wideText(m_base + "\\" + key).c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        std::wstring text = platform::wideText(data);
        if (type == REG_MULTI_SZ) {
            std::replace(text.begin(), text.end(), L'|', L'\0');
            text.push_back(L'\0');
        }
        text.push_back(L'\0');
        ::RegSetValueExW(handle, platform::wideText(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()),
                         static_cast<DWORD>(text.size() * sizeof(wchar_t)));
        ::RegCloseKey(handle);
    }
    bool exists(const std::string& key) const {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, platform::wideText(m_base + "\\" + key).c_str(), 0, KEY_READ, &handle) !=
            ERROR_SUCCESS) {
            return false;
        }
        ::RegCloseKey(handle);
        return true;
    }

private:
    std::string m_base;
};

TEST_F(SupportTest, WindowsRegistryAnswersFromATestKey) {
    TestKey key;
    key.set("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", REG_SZ, "SKOLE-PC-Ø");
    key.set(kParameters, "Domain", REG_SZ, "");
    key.set(kParameters, "DhcpDomain", REG_EXPAND_SZ, "skole.no");
    // Sub-keys come in the registry's order, which is by name: {A} is asked first.
    key.set(Interface("{A}"), "DhcpIPAddress", REG_BINARY, "xx");
    key.set(Interface("{A}"), "IPAddress", REG_MULTI_SZ, "10.0.0.1|10.0.0.2");
    key.set(Interface("{B}"), "DhcpIPAddress", REG_SZ, "0.0.0.0");
    key.set(Interface("{B}"), "IPAddress", REG_SZ, "10.1.2.3");
    key.set("Network\\Logon", "Username", REG_SZ, "bjørn");
    key.set("System\\CurrentControlSet\\Control\\Print\\Printers", "DefaultSpoolDirectory", REG_EXPAND_SZ,
            "%SystemRoot%\\spool");
    hs_reg::setRegistry(hs_reg::makeWindowsRegistry(hs_reg::RegistryRoot::CurrentUser, key.base()));

    EXPECT_EQ(hs_reg::computername(), "SKOLE-PC-Ø") << "the text in the ANSI code page";
    EXPECT_EQ(hs_reg::domainname(), "skole.no");
    EXPECT_EQ(hs_reg::ipaddress(), "10.1.2.3") << "the list and the binary value count as 0.0.0.0";
    EXPECT_EQ(hs_reg::networkuser(), "bjørn");
    EXPECT_EQ(hs_reg::activeuser(), "BJØRN");
    EXPECT_EQ(hs_reg::spooldir(), "%SystemRoot%\\spool") << "an expandable text is read as it stands";
    EXPECT_FALSE(hs_reg::registry().openKey("Ny\\Nøkkel"));
    EXPECT_FALSE(key.exists("Ny\\Nøkkel")) << "opening creates nothing";
}

// Where the process may write below HKEY_LOCAL_MACHINE (elevated, a service, wine), asking who the user is
// must leave no empty key behind, or every later run would take its empty name.
TEST_F(SupportTest, SystemInformationCreatesNoKeyBelowTheMachinesRoot) {
    const auto logonKeyExists = [] {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Network\\Logon", 0, KEY_READ, &handle) != ERROR_SUCCESS) {
            return false;
        }
        ::RegCloseKey(handle);
        return true;
    };
    if (logonKeyExists()) {
        GTEST_SKIP() << "this machine has the key itself";
    }
    testsupport::ScopedEnv username("USERNAME", "kari");
    hs_reg::setRegistry(nullptr);
    EXPECT_EQ(hs_reg::networkuser(), "kari");
    EXPECT_EQ(hs_reg::activeuser(), "KARI");
    hs_reg::computername();
    hs_reg::ipaddress();
    hs_reg::spooldir();
    EXPECT_FALSE(logonKeyExists());
}
#else
TEST_F(SupportTest, PosixRegistryAnswersFromTheSystem) {
    hs_reg::setRegistry(nullptr);
    EXPECT_FALSE(hs_reg::computername().empty());
    EXPECT_EQ(hs_reg::computername().find('.'), std::string::npos);
    const std::string address = hs_reg::ipaddress();
    if (!hs_reg::domainname().empty()) {
        EXPECT_FALSE(address.empty());
    } else {
        EXPECT_EQ(address, "");
    }
    EXPECT_FALSE(hs_reg::networkuser().empty());
    EXPECT_EQ(hs_reg::spooldir(), fs::is_directory("/var/spool/cups") ? "/var/spool/cups" : "");
}
#endif

} // namespace
} // namespace supporttest
