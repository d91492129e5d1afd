#pragma once
// The user whose files stand for another user's in tests: neither the user the
// tests run as nor root. Only root can give files to it.

#include <sys/types.h>
#include <unistd.h>

namespace orvex::testing {

inline uid_t OtherUser() { return ::geteuid() == 65534 ? 65533 : 65534; }

} // namespace orvex::testing
