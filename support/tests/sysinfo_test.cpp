#include <clocale>

#include "SupportFixture.h"

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
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
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
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(SupportTest, ActiveUserIsFoundOnce) {
    m_registry->setText("Network\\Logon", "Username", "ola");
    EXPECT_EQ(hs_reg::activeuser(), "OLA");
    m_registry->setText("Network\\Logon", "Username", "kari");
    EXPECT_EQ(hs_reg::activeuser(), "OLA");
}

TEST_F(SupportTest, NetworkUserFallsBackToUsernameWhenTheKeyDoesNotOpen) {
    testsupport::ScopedEnv username("USERNAME", "envuser");
    m_registry->setText("Network\\Logon", "Username", "ola");
    EXPECT_EQ(hs_reg::networkuser(), "ola");
    m_registry->denyAccess("Network\\Logon");
    EXPECT_EQ(hs_reg::networkuser(), "envuser");
}

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

} // namespace
} // namespace supporttest
