#include "base/DesktopLauncher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvex;

namespace {

// PATH pointing at a folder whose xdg-open writes its arguments to a file.
class FakeHandler {
public:
    FakeHandler() {
        char pattern[] = "/tmp/orvex-launcher-XXXXXX";
        folder_ = mkdtemp(pattern);
        const std::string script = folder_ + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << folder_ << "/args.tmp'\n/bin/mv '" << folder_
                              << "/args.tmp' '" << folder_ << "/args'\n";
        chmod(script.c_str(), 0755);
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", folder_.c_str(), 1);
    }
    ~FakeHandler() {
        setenv("PATH", oldPath_.c_str(), 1);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }
    // The arguments the handler saw, waiting for it to finish.
    std::string Arguments() const {
        for (int i = 0; i < 500; ++i) {
            std::ifstream in(folder_ + "/args");
            if (in)
                return std::string(std::istreambuf_iterator<char>(in), {});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "<none>";
    }
    std::string folder_;
    std::string oldPath_;
};

} // namespace

TEST(DesktopLauncher, StartsXdgOpenWithTheTargetAsOneArgument) {
    FakeHandler handler;
    EXPECT_TRUE(LaunchDesktopHandler(u"/tmp/a file; rm -rf x.pdf"));
    EXPECT_EQ(handler.Arguments(), "/tmp/a file; rm -rf x.pdf|");
}

TEST(DesktopLauncher, MissingHandlerIsReported) {
    const char* path = std::getenv("PATH");
    const std::string oldPath = path ? path : "";
    setenv("PATH", "/nonexistent-orvex-folder", 1);
    EXPECT_FALSE(LaunchDesktopHandler(u"https://example.org/"));
    setenv("PATH", oldPath.c_str(), 1);
}
