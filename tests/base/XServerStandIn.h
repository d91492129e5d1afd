#pragma once
// An X server of some user's for tests, in a child process of that user: it
// refuses every connection setup but one of protocol 11.0 from a little-endian
// client, which it finishes (one 640 x 480 screen) and then never answers.

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvex::testing {

class TXServerStandIn {
public:
    // At the first free display number from 600 on: in the abstract namespace
    // where address is empty, else at the TCP port of a numeric address
    // ("::ffff:127.0.0.1": a socket of both families). Display(): 0 where it could not.
    TXServerStandIn(uid_t user, const std::string& address) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || (FPid = ::fork()) < 0)
            return;
        if (FPid == 0) {
            const int listening = ::setgid(user) == 0 && ::setuid(user) == 0 ? Listen(address) : -1;
            (void)!::write(ready[1], &FDisplay, sizeof FDisplay);
            while (listening >= 0)
                Serve(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
            ::_exit(0);
        }
        ::close(ready[1]);
        if (::read(ready[0], &FDisplay, sizeof FDisplay) != sizeof FDisplay)
            FDisplay = 0;
        ::close(ready[0]);
    }
    ~TXServerStandIn() {
        if (FPid > 0 && ::kill(FPid, SIGKILL) == 0)
            ::waitpid(FPid, nullptr, 0);
    }
    int Display() const { return FDisplay; }

private:
    int Listen(const std::string& address) {
        for (int number = 600; number < 1600; ++number) {
            sockaddr_storage where{};
            where.ss_family = AF_UNIX;
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
            path.copy(reinterpret_cast<sockaddr_un&>(where).sun_path + 1, path.size());
            socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
            addrinfo hints{AI_NUMERICHOST, 0, SOCK_STREAM, 0, 0, nullptr, nullptr, nullptr}, *found = nullptr;
            if (!address.empty() && ::getaddrinfo(address.c_str(), std::to_string(6000 + number).c_str(), &hints,
                                                  &found) == 0) {
                std::memcpy(&where, found->ai_addr, size = found->ai_addrlen);
                ::freeaddrinfo(found);
            }
            const int handle = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0), no = 0;
            ::setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);  // refused but for IPv6
            if (::bind(handle, reinterpret_cast<const sockaddr*>(&where), size) == 0 && ::listen(handle, 16) == 0) {
                FDisplay = number;
                return handle;
            }
            ::close(handle);
        }
        return -1;
    }

    // A finished setup stays open, never answered: its handle is never closed.
    static void Serve(int client) {
        unsigned char head[12] = {};
        const bool eleven =
            ::recv(client, head, 12, MSG_WAITALL) == 12 && head[0] == 'l' && head[2] == 11 && head[3] == 0;
        std::string reply(((head[6] + 3) & ~3) + ((head[8] + 3) & ~3), '\0');  // the authorisation first
        if (!reply.empty())
            (void)!::recv(client, reply.data(), reply.size(), MSG_WAITALL);
        reply = eleven ? std::string() : std::string("\0\x0C\x0B\0\0\0\x03\0Bad protocol", 20);
        // Success, the server's ids, a pixel format, a screen of one depth of one visual.
        const char* setup = "01000B0000001D000100000000002000FFFF1F00000000000400FFFF01010000202008FF00000000"
                            "5465737418202000000000000001000020000000FFFFFF0000000000000000008002E001A9007F00"
                            "010001002100000000001801180001000000000021000000040800010000FF0000FF0000FF000000"
                            "00000000";
        for (; eleven && *setup; setup += 2)
            reply += static_cast<char>(std::stoi(std::string(setup, 2), nullptr, 16));
        (void)!::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (!eleven)
            ::close(client);
    }

    pid_t FPid = 0;
    int FDisplay = 0;
};

} // namespace orvex::testing
