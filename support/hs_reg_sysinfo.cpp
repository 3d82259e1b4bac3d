// Who and where the program runs: answers read through the registry interface and the environment.
#include "Felles.h"
#include "hs_reg.h"
#include "platform.h"

namespace hs_reg {

namespace {

constexpr std::size_t kIpMax = 15;
constexpr std::size_t kUserMax = 63;
constexpr const char* kParametersKey = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters";
constexpr const char* kInterfacesKey = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters\\Interfaces";
constexpr const char* kNoAddress = "0.0.0.0";

std::string g_activeUser;
std::string g_ipOverride;
std::string g_userOverride;
std::shared_ptr<Registry> g_registry;

// A key that does not open, or a missing value, reads as empty text.
std::string readText(const std::string& key, const std::string& name) {
    Registry& reg = registry();
    if (!reg.openKey(key)) {
        return {};
    }
    const RegistryValue value = reg.readValue(key, name);
    return value.status == ValueStatus::Text ? value.text : std::string();
}

// The address search's reading: a value that is there but no text counts as "0.0.0.0".
std::string readAddress(const std::string& key, const std::string& name) {
    const RegistryValue value = registry().readValue(key, name);
    switch (value.status) {
    case ValueStatus::Text:
        return value.text;
    case ValueStatus::Missing:
        return {};
    case ValueStatus::NotText:
        break;
    }
    return kNoAddress;
}

} // namespace

void setRegistry(std::shared_ptr<Registry> reg) {
    g_registry = std::move(reg);
}

Registry& registry() {
    if (!g_registry) {
        g_registry = makePlatformRegistry();
    }
    return *g_registry;
}

std::string computername() {
    return felles::CutText(readText("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"));
}

std::string domainname() {
    std::string domain = readText(kParametersKey, "Domain");
    if (domain.empty()) {
        domain = readText(kParametersKey, "DhcpDomain");
    }
    return felles::CutText(domain);
}

std::string ipaddress() {
    if (!g_ipOverride.empty()) {
        return g_ipOverride;
    }
    if (domainname().empty()) {
        return {};
    }
    Registry& reg = registry();
    std::vector<std::string> names;
    if (reg.openKey(kInterfacesKey)) {
        names = reg.subKeyNames(kInterfacesKey);
    }
    for (const std::string& name : names) {
        const std::string key = felles::CutText(std::string(kInterfacesKey) + "\\" + name);
        if (!reg.openKey(key)) {
            continue;
        }
        std::string address = readAddress(key, "DhcpIPAddress");
        if (address.empty() || address == kNoAddress) {
            address = readAddress(key, "IPAddress");
        }
        if (!address.empty() && address != kNoAddress) {
            return felles::CutText(address);
        }
    }
    return kNoAddress;
}

std::string spooldir() {
    return readText("System\\CurrentControlSet\\Control\\Print\\Printers", "DefaultSpoolDirectory");
}

std::string networkuser() {
    Registry& reg = registry();
    if (reg.openKey("Network\\Logon")) {
        const RegistryValue value = reg.readValue("Network\\Logon", "Username");
        return value.status == ValueStatus::Text ? felles::CutText(value.text) : std::string();
    }
    return felles::CutText(platform::env("USERNAME"));
}

std::string activeuser() {
    if (g_activeUser.empty()) {
        g_activeUser = !g_userOverride.empty() ? g_userOverride : felles::CutText(networkuser(), kUserMax);
    }
    if (g_activeUser.empty()) {
        g_activeUser = "BRUKER";
    }
    return platform::toUpperLocale(g_activeUser);
}

std::string tempdir() {
    return platform::env("TEMP");
}

void setipoverride(std::string_view value) {
    g_ipOverride = felles::CutText(value, kIpMax);
}
void setuseroverride(std::string_view value) {
    g_userOverride = felles::CutText(value, kUserMax);
}
const std::string& ipoverride() {
    return g_ipOverride;
}
const std::string& useroverride() {
    return g_userOverride;
}

void resetSystemInfo() {
    g_activeUser.clear();
    g_ipOverride.clear();
    g_userOverride.clear();
}

} // namespace hs_reg
