#include "base/XDisplayProbe.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvex;
using namespace std::chrono_literals;

namespace {

// The connection-setup request of protocol 11.0 in this machine's byte order.
std::string WellFormedRequest() {
    return std::endian::native == std::endian::little ? std::string("l\0\x0B\0\0\0\0\0\0\0\0\0", 12)
                                                      : std::string("B\0\0\x0B\0\0\0\0\0\0\0\0", 12);
}

// An X server as far as resets go, serving count clients one after another: it
// answers Success (1) to a well-formed connection-setup request, which makes the
// client a running one, and refuses any other (0). When a running client leaves,
// the last one as they come one at a time, it resets. The number of resets.
std::future<int> ServeOneAfterAnother(int listening, int count) {
    return std::async(std::launch::async, [listening, count] {
        int resets = 0;
        for (int i = 0; i < count; ++i) {
            const int client = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
            std::string request(12, '\0');
            const bool running =
                ::recv(client, request.data(), request.size(), MSG_WAITALL) == 12 && request == WellFormedRequest();
            (void)!::send(client, running ? "\1" : "\0", 1, MSG_NOSIGNAL);
            char more = 0;
            if (running && ::recv(client, &more, 1, 0) <= 0)
                ++resets;
            ::close(client);
        }
        return resets;
    });
}

} // namespace

// As the X library reads them: ":N" alone tries this machine's TCP port after the
// local sockets; a protocol before a '/' chooses the way, whatever the host.
TEST(XDisplayProbe, SocketsOfADisplayName) {
    const auto local = [](const std::string& number) {
        const std::string path = "/tmp/.X11-unix/X" + number;
        return std::vector<TXDisplaySocket>{{'\0' + path, "", 0}, {path, "", 0}};
    };
    const auto tcp = [](std::vector<TXDisplaySocket> sockets, uint16_t port) {
        sockets.push_back({"", "localhost", port});
        return sockets;
    };
    const std::pair<std::string, std::vector<TXDisplaySocket>> rows[] = {
        {":0", tcp(local("0"), 6000)}, {":12.3", tcp(local("12"), 6012)}, {":59536", local("59536")},
        {"unix:7", local("7")}, {"unix/:7", local("7")}, {"unix/web2:7", local("7")},
        {"/run/user/1000/x11:4", {{"/run/user/1000/x11", "", 0}}},
        {"web2:10", {{"", "web2", 6010}}}, {"10.0.0.1:59535.1", {{"", "10.0.0.1", 65535}}},
        {"[fe80::1%eth0]:2", {{"", "fe80::1%eth0", 6002}}}, {"::1:3", {{"", "::1", 6003}}},
        {"tcp/localhost:187", {{"", "localhost", 6187}}}, {"inet/10.0.0.1:1", {{"", "10.0.0.1", 6001}}},
        {"inet6/[::1]:3.1", {{"", "::1", 6003}}},
        {"", {}}, {"0", {}}, {":", {}}, {":x", {}}, {":1.", {}}, {":1.x", {}}, {":-1", {}}, {": 1", {}},
        {":99999999999", {}}, {"web2::0", {}}, {"web2:59536", {}},
        {"tcp/:0", {}}, {"inet/unix:0", {}}, {"local/:0", {}}, {"a/tcp/web2:0", {}}, {"tcp//web2:0", {}},
    };
    for (const auto& [name, sockets] : rows)
        EXPECT_EQ(XDisplaySockets(name), sockets) << name;
}

// A local socket stands for the display: nothing there, a server that reads the
// connection-setup request and answers, and one that takes the connection into
// its queue (or, the queue full, not even that) and says nothing.
TEST(XDisplayProbe, NeverAnswersOnlyWhereAServerHoldsTheConnectionSilently) {
    ::alarm(60);  // a probe that hangs ends the test
    char pattern[] = "/tmp/orvex-display-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const std::string path = (folder / "X").string(), name = path + ":0";
    EXPECT_FALSE(ProbeXDisplay(name, 100ms).NeverAnswers);
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 0), 0);  // room for one connection in the queue
    std::string request(12, '?');
    std::thread answering([&] {
        const int client = ::accept(server, nullptr, nullptr);
        request.resize(std::max<ssize_t>(::recv(client, request.data(), request.size(), MSG_WAITALL), 0));
        (void)!::send(client, "\0", 1, MSG_NOSIGNAL);
        ::close(client);
    });
    const TXDisplayProbe answered = ProbeXDisplay(name, 10s);
    EXPECT_FALSE(answered.NeverAnswers);
    EXPECT_EQ(answered.Owner, ::geteuid());
    answering.join();
    // Protocol 0.0, which every server refuses.
    EXPECT_EQ(request, std::endian::native == std::endian::little ? std::string("l\0\0\0\0\0\0\0\0\0\0\0", 12)
                                                                  : std::string("B\0\0\0\0\0\0\0\0\0\0\0", 12));
    EXPECT_TRUE(ProbeXDisplay(name, 100ms).NeverAnswers);
    EXPECT_TRUE(ProbeXDisplay(name, 100ms).NeverAnswers);
    ::close(server);
    std::filesystem::remove_all(folder);
    ::alarm(0);
}

// A server that resets when its last running client leaves drops a client that
// connects just then. The probe never runs as a client: the client connecting
// right after it is served, and the only reset comes when that client leaves.
TEST(XDisplayProbe, NeverMakesAServerReset) {
    ::alarm(60);
    char pattern[] = "/tmp/orvex-display-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const std::string path = (folder / "X").string();
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, path.size());
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 8), 0);
    std::future<int> resets = ServeOneAfterAnother(listening, 2);
    EXPECT_FALSE(ProbeXDisplay(path + ":0", 10s).NeverAnswers);
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const std::string request = WellFormedRequest();
    ASSERT_EQ(::send(client, request.data(), request.size(), MSG_NOSIGNAL), 12);
    char reply = '?';
    EXPECT_EQ(::recv(client, &reply, 1, 0), 1);
    EXPECT_EQ(reply, '\1');
    ::close(client);
    EXPECT_EQ(resets.get(), 1);
    ::close(listening);
    std::filesystem::remove_all(folder);
    ::alarm(0);
}

// A host is looked up once, within the probe's deadline, and the name to connect
// with carries the address that took the connection, so that the GUI library looks
// nothing up again; where none did, the GUI library fails by itself. A lookup that
// ends after the deadline (a name server that never answers) or finds nothing
// leaves a display that does not answer.
TEST(XDisplayProbe, LooksTheHostUpOnceWithinTheDeadline) {
    ::alarm(60);
    const int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int display = 0;
    for (int number = 500; display == 0 && number < 1500; ++number) {
        const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(6000 + number)), {htonl(INADDR_LOOPBACK)}, {}};
        if (::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            display = number;
    }
    ASSERT_TRUE(display != 0 && ::listen(listening, 8) == 0);
    std::future<int> resets = ServeOneAfterAnother(listening, 3);  // the rows that connect
    const std::string number = ":" + std::to_string(display) + ".2", name = "web2" + number;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const struct {
        std::optional<std::vector<std::string>> Addresses;  // none: the lookup never ends
        bool NeverAnswers;
        std::string Name;
    } rows[] = {
        {{{"127.0.0.1"}}, false, "127.0.0.1" + number},
        {{{"::1", "127.0.0.1"}}, false, "127.0.0.1" + number},
        {{{"::1"}}, false, name},
        {std::vector<std::string>(), true, name},
        {std::nullopt, true, name},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name + (row.Addresses ? "" : ", hanging"));
        const auto hosts = std::make_shared<std::vector<std::string>>();
        const TXHostLookup lookup = [hosts, released, addresses = row.Addresses](const std::string& host) {
            hosts->push_back(host);
            if (!addresses)
                released.wait();
            return addresses.value_or(std::vector<std::string>());
        };
        const TXDisplayProbe probe = ProbeXDisplay(name, row.Addresses ? 10s : 50ms, lookup);
        EXPECT_EQ(probe.NeverAnswers, row.NeverAnswers);
        EXPECT_EQ(probe.Name, row.Name);
        EXPECT_EQ(probe.Owner, probe.Name == name ? std::nullopt : std::optional(::geteuid()));
        if (row.Addresses) {
            EXPECT_EQ(*hosts, std::vector<std::string>{"web2"});
        }
    }
    release.set_value();
    const TXDisplayProbe numeric = ProbeXDisplay("127.0.0.1" + number, 10s);
    EXPECT_FALSE(numeric.NeverAnswers);
    EXPECT_EQ(numeric.Name, "127.0.0.1" + number);
    EXPECT_EQ(resets.get(), 0);
    ::close(listening);
    ::alarm(0);
}
