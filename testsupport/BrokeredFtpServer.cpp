#include "BrokeredFtpServer.h"

#include <cstdlib>

namespace testsupport {

namespace {

constexpr const char* kBrokerVariable = "PYTAGORAS_FTP_BROKER";

int brokerPort() {
    const char* text = std::getenv(kBrokerVariable);
    return text == nullptr ? 0 : std::atoi(text);
}

// Sends one request line and reads the one-line answer; the link stays open, as a server runs while it is.
std::string ask(TestSocket& link, const std::string& request) {
    if (brokerPort() <= 0) {
        throw std::runtime_error(std::string("no FTP server broker: ") + kBrokerVariable + " is not set");
    }
    link = connectTo("127.0.0.1", brokerPort());
    if (!link.valid()) {
        throw std::runtime_error("the FTP server broker does not answer");
    }
    const std::string line = request + "\n";
    sendAll(link.get(), line.data(), line.size());
    std::string answer;
    char c = 0;
    // Starting a server takes well under a second; the broker gives up on one after 15.
    while (answer.size() < 1000 && waitReadable(link.get(), 90000) && receiveSome(link.get(), &c, 1) == 1 &&
           c != '\n') {
        answer += c;
    }
    return answer;
}

} // namespace

bool BrokeredFtpServer::available() {
    return brokerPort() > 0;
}

BrokeredFtpServer::BrokeredFtpServer(const std::filesystem::path& root, const std::string& user,
                                     const std::string& password, const std::vector<std::string>& options) {
    std::string request = "serve\t" + root.string() + "\t" + user + "\t" + password;
    for (const std::string& option : options) {
        request += "\t" + option;
    }
    const std::string answer = ask(m_link, request);
    if (answer.rfind("unavailable ", 0) == 0) {
        throw FtpServerUnavailable(answer.substr(12));
    }
    if (answer.rfind("port ", 0) != 0) {
        throw std::runtime_error("the FTP server broker started no server: " + answer);
    }
    m_port = std::atoi(answer.c_str() + 5);
}

void BrokeredFtpServer::MakeCertificates(const std::filesystem::path& folder) {
    TestSocket link;
    const std::string answer = ask(link, "certificates\t" + folder.string());
    if (answer != "done") {
        throw std::runtime_error("the FTP server broker made no certificates: " + answer);
    }
}

} // namespace testsupport
