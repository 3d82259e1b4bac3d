#include "BrokeredFtpServer.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr const char* kBrokerVariable = "PYTAGORAS_FTP_BROKER";

int brokerPort() {
    const char* text = std::getenv(kBrokerVariable);
    return text == nullptr ? 0 : std::atoi(text);
}

} // namespace

bool BrokeredFtpServer::available() {
    return brokerPort() > 0;
}

BrokeredFtpServer::BrokeredFtpServer(const std::filesystem::path& root, const std::string& user,
                                     const std::string& password, const std::vector<std::string>& options) {
    if (!available()) {
        throw std::runtime_error(std::string("no FTP server broker: ") + kBrokerVariable + " is not set");
    }
    m_link = connectTo("127.0.0.1", brokerPort());
    if (!m_link.valid()) {
        throw std::runtime_error("the FTP server broker does not answer");
    }
    std::string request = "serve\t" + root.string() + "\t" + user + "\t" + password;
    for (const std::string& option : options) {
        request += "\t" + option;
    }
    request += "\n";
    sendAll(m_link.get(), request.data(), request.size());

    std::string answer;
    char c = 0;
    // Starting a server takes well under a second; the broker gives up on one after 15.
    while (answer.size() < 1000 && waitReadable(m_link.get(), 90000) && receiveSome(m_link.get(), &c, 1) == 1 &&
           c != '\n') {
        answer += c;
    }
    if (answer.rfind("port ", 0) != 0) {
        throw std::runtime_error("the FTP server broker started no server: " + answer);
    }
    m_port = std::atoi(answer.c_str() + 5);
}

} // namespace testsupport
