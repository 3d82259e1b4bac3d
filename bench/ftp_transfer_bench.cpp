// FTP client benchmarks. The transfer and session benchmarks need a server (bench/ftp-compare starts
// one and sets the variables below); the silent-wait benchmark brings its own.
//   FTP_BENCH_PORT      port of the server (anonymous login)
//   FTP_BENCH_HOST      the server's address (default 127.0.0.1; ::1 for IPv6)
//   FTP_BENCH_REMOTE    remote file to download (default big.bin)
//   FTP_BENCH_UPLOAD    remote name for uploads (default up/bench.bin)
//   FTP_BENCH_LOCAL     local file to upload
//   FTP_BENCH_DOWNLOAD  local file to download into (default FTP_BENCH_LOCAL + ".down"); left in place
//   FTP_BENCH_SESSIONS  sessions timed by BM_ConnectLoginSize (default 200)
//   FTP_BENCH_TLS_CA    when set, explicit TLS trusting the certificates in this file (host localhost)
//   FTP_BENCH_PASSIVE   when set, passive data connections
#include "NetFTP.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

bool configured(benchmark::State& state) {
    if (env("FTP_BENCH_PORT").empty()) {
        state.SkipWithError("FTP_BENCH_PORT not set (run bench/ftp-compare)");
        return false;
    }
    return true;
}

void aim(net::TNetFTP& ftp) {
    ftp.Host = env("FTP_BENCH_HOST", "127.0.0.1");
    ftp.Port = std::stoi(env("FTP_BENCH_PORT"));
    ftp.User = "anonymous";
    ftp.Password = "bench@";
    ftp.Passive = !env("FTP_BENCH_PASSIVE").empty();
    if (!env("FTP_BENCH_TLS_CA").empty()) {
        ftp.Host = "localhost";
        ftp.UseTLS = true;
        ftp.TLSCAFile = env("FTP_BENCH_TLS_CA");
    }
}

// Resident memory now, from /proc.
long currentRssKiB() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

double threadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
           usage.ru_stime.tv_usec / 1e3;
}

// A progress handler as cheap as the window's, so the events are part of the cost. Every 1024th event it
// samples resident memory, for the growth during the transfer.
struct Progress {
    std::int64_t last = 0;
    long events = 0;
    long rssBefore = currentRssKiB();
    long rssPeak = rssBefore;
    void attach(net::TNetFTP& ftp) {
        ftp.OnWork = [this](net::TNetComponent&, net::TWorkMode, std::int64_t count) {
            last = count;
            if (++events % 1024 == 0) {
                rssPeak = std::max(rssPeak, currentRssKiB());
            }
        };
    }
    double growthMiB() const { return static_cast<double>(std::max(rssPeak, currentRssKiB()) - rssBefore) / 1024.0; }
};

// One session per iteration around the transfer; reports bytes and the resident memory growth.
template <typename Transfer> void runTransfer(benchmark::State& state, Transfer transfer) {
    if (!configured(state)) {
        return;
    }
    double growth = 0;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        net::TNetFTP ftp;
        Progress progress;
        progress.attach(ftp);
        aim(ftp);
        ftp.OpenSession(true);
        transfer(ftp);
        ftp.CloseConnection();
        bytes += ftp.LastTransferBytes();
        growth = std::max(growth, progress.growthMiB());
    }
    state.SetBytesProcessed(bytes);
    state.counters["rss_growth_MiB"] = growth;
}

std::string downloadTarget() {
    return env("FTP_BENCH_DOWNLOAD", (env("FTP_BENCH_LOCAL") + ".down").c_str());
}

void BM_Download(benchmark::State& state) {
    runTransfer(
        state, [](net::TNetFTP& ftp) { ftp.DownloadFile(env("FTP_BENCH_REMOTE", "big.bin"), downloadTarget(), true); });
}
BENCHMARK(BM_Download)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same download through the plain receive-and-write path, to weigh the zero-copy path against it.
class PlainFile : public net::TNetFileStream {
public:
    using net::TNetFileStream::TNetFileStream;
    void TakeFrom(net::TNetReceiveSource& source) override { net::TNetStream::TakeFrom(source); }
};

void BM_DownloadCopying(benchmark::State& state) {
    runTransfer(state, [](net::TNetFTP& ftp) {
        PlainFile file(downloadTarget(), net::TFileMode::CreateForWriting);
        ftp.DownloadToStream(env("FTP_BENCH_REMOTE", "big.bin"), file);
    });
}
BENCHMARK(BM_DownloadCopying)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Upload(benchmark::State& state) {
    runTransfer(state, [](net::TNetFTP& ftp) {
        ftp.UploadFile(env("FTP_BENCH_LOCAL"), env("FTP_BENCH_UPLOAD", "up/bench.bin"), false);
    });
}
BENCHMARK(BM_Upload)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Connect, log in, ask one size and close, timed one by one; reports the median.
void BM_ConnectLoginSize(benchmark::State& state) {
    if (!configured(state)) {
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        const int sessions = std::max(1, std::atoi(env("FTP_BENCH_SESSIONS", "200").c_str()));
        for (int i = 0; i < sessions; ++i) {
            const auto start = std::chrono::steady_clock::now();
            net::TNetFTP ftp;
            aim(ftp);
            ftp.OpenSession(true);
            benchmark::DoNotOptimize(ftp.QueryFileSize(env("FTP_BENCH_REMOTE", "big.bin")));
            ftp.CloseConnection();
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
}
BENCHMARK(BM_ConnectLoginSize)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A server that stays silent for five seconds before its greeting: the client's wait must cost no CPU.
void BM_SilentWait(benchmark::State& state) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    double cpu = 0;
    for (auto _ : state) {
        std::thread server([listener] {
            const int fd = ::accept(listener, nullptr, nullptr);
            std::this_thread::sleep_for(std::chrono::seconds(5));
            const char greeting[] = "220 late\r\n";
            ::send(fd, greeting, sizeof greeting - 1, MSG_NOSIGNAL);
            char byte;
            ::recv(fd, &byte, 1, 0);
            ::close(fd);
        });
        net::TNetFTP ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = port;
        const double before = threadCpuMs();
        ftp.OpenSession(false);
        cpu = threadCpuMs() - before;
        ftp.CloseConnection();
        server.join();
    }
    ::close(listener);
    state.counters["cpu_ms"] = cpu;
}
BENCHMARK(BM_SilentWait)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A listener on the loopback address of the family at port (0: any free one), with the backlog given; the
// port it got in port.
int listenOn(int family, int backlog, int& port) {
    const int listener = ::socket(family, SOCK_STREAM, 0);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        v6.sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4.sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof v4;
    }
    ::bind(listener, reinterpret_cast<sockaddr*>(&storage), length);
    ::listen(listener, backlog);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&storage), &length);
    port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                                    : reinterpret_cast<sockaddr_in&>(storage).sin_port);
    return listener;
}

// The connect to a name whose first address never answers (::1 with a full queue: its requests are dropped)
// and whose second one does (127.0.0.1), with the default time-out; reports the median of 20.
void BM_ConnectFirstAddressDead(benchmark::State& state) {
    int port = 0;
    const int live = listenOn(AF_INET, 64, port);
    const int dead = listenOn(AF_INET6, 0, port);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_addr = in6addr_loopback;
        to.sin6_port = htons(static_cast<std::uint16_t>(port));
        ::connect(filler, reinterpret_cast<sockaddr*>(&to), sizeof to);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> times;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            net::TNetTCPClient client;
            client.Host = "ftp.example";
            client.Port = port;
            client.Resolver = [](const std::string&) { return std::vector<std::string>{"::1", "127.0.0.1"}; };
            const auto start = std::chrono::steady_clock::now();
            client.OpenConnection();
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            if (client.Socket().RemoteAddress != "127.0.0.1") {
                state.SkipWithError("the live address did not answer");
            }
            client.CloseConnection();
            ::close(::accept(live, nullptr, nullptr));
        }
    }
    for (const int filler : fillers) {
        ::close(filler);
    }
    ::close(dead);
    ::close(live);
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["max_ms"] = times.back();
}
BENCHMARK(BM_ConnectFirstAddressDead)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
