// The registry's questions answered from a POSIX system: host name, DNS domain, the IPv4 addresses
// of the network interfaces (one sub-key per interface, in the order the system lists them), the
// CUPS spool folder and the login name. Nothing here talks to the network.
#ifndef _WIN32

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <unistd.h>

#include "hs_reg.h"
#include "platform.h"

namespace hs_reg {

namespace {

constexpr const char* kComputerNameKey = "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr const char* kParametersKey = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters";
constexpr const char* kInterfacesKey = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters\\Interfaces";
constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
constexpr const char* kLogonKey = "Network\\Logon";
constexpr const char* kCupsSpool = "/var/spool/cups";

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string hostName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        return {};
    }
    return buffer;
}

// The DNS domain: the host name's own suffix, else resolv.conf's "domain" or first "search" entry.
std::string dnsDomain() {
    const std::string host = hostName();
    if (const auto dot = host.find('.'); dot != std::string::npos) {
        return host.substr(dot + 1);
    }
    std::ifstream in("/etc/resolv.conf");
    std::string line;
    std::string search;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string word;
        std::string value;
        words >> word >> value;
        if (value.empty() || value == ".") {
            continue;
        }
        if (word == "domain") {
            return value;
        }
        if (word == "search" && search.empty()) {
            search = value;
        }
    }
    return search;
}

// Interface names with their first IPv4 address, loopback left out, in the system's order.
std::vector<std::pair<std::string, std::string>> interfaces() {
    std::vector<std::pair<std::string, std::string>> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return result;
    }
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET || (it->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        const std::string name = it->ifa_name;
        if (std::any_of(result.begin(), result.end(), [&](const auto& entry) { return entry.first == name; })) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
            result.emplace_back(name, text);
        }
    }
    ::freeifaddrs(list);
    return result;
}

std::string loginName() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr && entry->pw_name != nullptr ? std::string(entry->pw_name) : std::string();
}

RegistryValue text(std::string value) {
    return RegistryValue{ValueStatus::Text, std::move(value)};
}

class PosixRegistry : public Registry {
public:
    bool openKey(const std::string& key) override {
        if (sameName(key, kLogonKey)) {
            // Without a known login name the caller falls back to the USERNAME variable.
            return !loginName().empty();
        }
        if (sameName(key, kPrintersKey)) {
            return true;
        }
        return sameName(key, kComputerNameKey) || sameName(key, kParametersKey) || sameName(key, kInterfacesKey) ||
               interfaceOf(key).has_value();
    }

    RegistryValue readValue(const std::string& key, const std::string& name) override {
        if (sameName(key, kComputerNameKey) && sameName(name, "ComputerName")) {
            std::string host = hostName();
            return text(host.substr(0, host.find('.')));
        }
        if (sameName(key, kParametersKey) && sameName(name, "Domain")) {
            return text(dnsDomain());
        }
        if (sameName(key, kPrintersKey) && sameName(name, "DefaultSpoolDirectory")) {
            return platform::folderExists(kCupsSpool) ? text(kCupsSpool) : RegistryValue{};
        }
        if (sameName(key, kLogonKey) && sameName(name, "Username")) {
            return text(loginName());
        }
        if (sameName(name, "IPAddress")) {
            if (auto address = interfaceOf(key)) {
                return text(*address);
            }
        }
        return {};
    }

    std::vector<std::string> subKeyNames(const std::string& key) override {
        std::vector<std::string> names;
        if (sameName(key, kInterfacesKey)) {
            for (const auto& entry : interfaces()) {
                names.push_back(entry.first);
            }
        }
        return names;
    }

private:
    // The address of the interface a key names ("...\Interfaces\eth0"), when it is one.
    static std::optional<std::string> interfaceOf(const std::string& key) {
        const std::string prefix = std::string(kInterfacesKey) + "\\";
        if (key.size() <= prefix.size() || !sameName(std::string_view(key).substr(0, prefix.size()), prefix)) {
            return std::nullopt;
        }
        const std::string name = key.substr(prefix.size());
        for (const auto& entry : interfaces()) {
            if (entry.first == name) {
                return entry.second;
            }
        }
        return std::nullopt;
    }
};

} // namespace

std::shared_ptr<Registry> makePlatformRegistry() {
    return std::make_shared<PosixRegistry>();
}

} // namespace hs_reg

#endif
