#pragma once
// The message of the EVeldarException a call raises, for exact-text checks.

#include <functional>
#include <gtest/gtest.h>
#include <string>

#include "keyedconfig/VeldarErrors.h"

namespace orvex::fake {

inline std::u16string RaisedText(const std::function<void()>& call) {
    try {
        call();
    } catch (const EVeldarException& e) {
        return e.Message();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

} // namespace orvex::fake
