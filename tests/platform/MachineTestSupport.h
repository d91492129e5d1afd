#pragma once
// A fresh, empty machines folder for each test (ORVEX_MACHINES points at it).

#include "../base/ChildProcess.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "platform/AdsBinding.h"
#include "platform/DefaultMachine.h"
#include "platform/EmulatedMachine.h"
#include "platform/OleVariant.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <sstream>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace orvex::testing {

// Runs call and returns the HRESULT it raised (0 when it raised nothing).
template <class TCall>
int32_t ErrorOf(TCall call) {
    try {
        call();
    } catch (const EOleSysError& e) {
        return e.ErrorCode();
    }
    return 0;
}

// The message of the TError that call raises ("" when it raises none).
template <class TError, class TCall>
std::string MessageOf(TCall call) {
    try {
        call();
    } catch (const TError& e) {
        return e.what();
    }
    return {};
}

class TMachinesFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvex-machines-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FFolder = pattern;
        setenv("ORVEX_MACHINES", FFolder.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ORVEX_MACHINES");
        std::error_code error;
        std::filesystem::remove_all(FFolder, error);
    }

    const std::filesystem::path& Folder() const { return FFolder; }

    // A copy of the default machine under another name, changed by edit.
    template <class TEdit>
    void MakeMachine(const std::u16string& name, TEdit edit) {
        TMachineState state = BuildDefaultMachineState(name);
        edit(state);
        CreateMachine(name, state);
    }

    void WriteFaults(const std::string& machineFolder, const std::string& text) {
        std::ofstream(FFolder / machineFolder / "Faults.txt", std::ios::binary) << text;
    }

private:
    std::filesystem::path FFolder;
};

// The bytes of a file ("" when it cannot be read).
inline std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline TOleVariant Bind(std::u16string_view name) { return BindToObject(name); }

} // namespace orvex::testing
