#pragma once
// Whether an X display answers, asked before the GUI library connects to it: a
// server that takes the connection and never answers (a stopped or frozen one)
// would hold the program in that connection forever.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Room for a busy server across a slow network, and still little for a cron job.
inline constexpr std::chrono::milliseconds kXDisplayAnswerDeadline{5000};

// A place an X client connects to for a display: a local socket, whose name
// starts with '\0' in the abstract namespace, or else a host's TCP port.
struct TXDisplaySocket {
    std::string Path;
    std::string Host;
    uint16_t Port = 0;
    bool operator==(const TXDisplaySocket&) const = default;
};

// The sockets of a display name ":N", ":N.S", "unix:N", "/path/to/socket:N" or
// "host:N", in the order an X client tries them; none for a name of another form.
std::vector<TXDisplaySocket> XDisplaySockets(std::string_view name);

// True when the first of the display's sockets that takes a connection sends
// nothing within deadline after a connection-setup request, or does not take it
// within deadline. False when the server answers (whatever it says), when nothing
// takes the connection and for a name of another form: the GUI library then
// connects or fails by itself.
bool XDisplayNeverAnswers(std::string_view name, std::chrono::milliseconds deadline = kXDisplayAnswerDeadline);

} // namespace orvex
