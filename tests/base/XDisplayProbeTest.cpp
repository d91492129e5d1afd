#include "base/XDisplayProbe.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvex;
using namespace std::chrono_literals;

TEST(XDisplayProbe, SocketsOfADisplayName) {
    const auto local = [](const std::string& number) {
        const std::string path = "/tmp/.X11-unix/X" + number;
        return std::vector<TXDisplaySocket>{{'\0' + path, "", 0}, {path, "", 0}};
    };
    const std::pair<std::string, std::vector<TXDisplaySocket>> rows[] = {
        {":0", local("0")}, {":12.3", local("12")}, {"unix:7", local("7")},
        {"/run/user/1000/x11:4", {{"/run/user/1000/x11", "", 0}}},
        {"web2:10", {{"", "web2", 6010}}}, {"10.0.0.1:59535.1", {{"", "10.0.0.1", 65535}}},
        {"", {}}, {"0", {}}, {":", {}}, {":x", {}}, {":1.", {}}, {":1.x", {}}, {":-1", {}}, {": 1", {}},
        {":99999999999", {}}, {"web2::0", {}}, {"web2:59536", {}},
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
    EXPECT_FALSE(XDisplayNeverAnswers(name, 100ms));
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
    EXPECT_FALSE(XDisplayNeverAnswers(name, 10s));
    answering.join();
    EXPECT_EQ(request, std::endian::native == std::endian::little ? std::string("l\0\x0B\0\0\0\0\0\0\0\0\0", 12)
                                                                  : std::string("B\0\0\x0B\0\0\0\0\0\0\0\0", 12));
    EXPECT_TRUE(XDisplayNeverAnswers(name, 100ms));
    EXPECT_TRUE(XDisplayNeverAnswers(name, 100ms));
    ::close(server);
    std::filesystem::remove_all(folder);
    ::alarm(0);
}
