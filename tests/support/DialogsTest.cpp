#include "support/Dialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace orvex;

namespace {

struct TCall {
    std::u16string msg;
    TMsgDlgType dlgType;
    TMsgDlgButtons buttons;
    int32_t helpCtx;
};

// Records every message and answers with a fixed result.
class RecordingHook : public ::testing::Test {
protected:
    void SetUp() override {
        MessageDialogHook = [this](const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                                   int32_t helpCtx) {
            calls_.push_back({msg, dlgType, buttons, helpCtx});
            return answer_;
        };
    }
    void TearDown() override {
        MessageDialogHook = nullptr;
        OpenFileDialogHook = nullptr;
    }
    std::vector<TCall> calls_;
    int answer_ = mrOk;
};

} // namespace

TEST_F(RecordingHook, FrontEndsPassKindButtonsAndHelpContextZero) {
    ShowInformation(u"info");
    ShowWarning(u"warn");
    ShowError(u"err");
    AskYesNo(u"yes or no");
    int answer = 0;
    AskYesNoCancel(u"yes, no or cancel", answer);
    const TCall expected[] = {
        {u"info", TMsgDlgType::mtInformation, mbOK, 0},
        {u"warn", TMsgDlgType::mtWarning, mbOK, 0},
        {u"err", TMsgDlgType::mtError, mbOK, 0},
        {u"yes or no", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0},
        {u"yes, no or cancel", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, 0},
    };
    ASSERT_EQ(calls_.size(), std::size(expected));
    for (size_t i = 0; i < calls_.size(); ++i) {
        EXPECT_EQ(calls_[i].msg, expected[i].msg);
        EXPECT_EQ(calls_[i].dlgType, expected[i].dlgType);
        EXPECT_EQ(calls_[i].buttons, expected[i].buttons);
        EXPECT_EQ(calls_[i].helpCtx, 0);
    }
    // The enumeration and bit values are the class library's.
    EXPECT_EQ(static_cast<int>(TMsgDlgType::mtConfirmation), 3);
    EXPECT_EQ(mbYes | mbNo | mbOK | mbCancel, 0xFu);
}

TEST_F(RecordingHook, AskYesNoIsTrueOnlyForYes) {
    for (int result : {mrYes, mrNo, mrCancel, mrOk, -1, 0}) {
        answer_ = result;
        EXPECT_EQ(AskYesNo(u"?"), result == mrYes) << result;
    }
}

TEST_F(RecordingHook, AskYesNoCancelPassesTheAnswerUnchanged) {
    for (int result : {mrYes, mrNo, mrCancel, -1, 42}) {
        answer_ = result;
        int answer = 0;
        AskYesNoCancel(u"?", answer);
        EXPECT_EQ(answer, result);
    }
}

TEST_F(RecordingHook, WhatTheHookRaisesReachesTheCaller) {
    MessageDialogHook = [](const std::u16string&, TMsgDlgType, TMsgDlgButtons, int32_t) -> int {
        throw std::runtime_error("no display");
    };
    EXPECT_THROW(ShowError(u"x"), std::runtime_error);
    EXPECT_THROW(AskYesNo(u"x"), std::runtime_error);
}

TEST(Dialogs, WithoutHooksTheConsoleAnswers) {
    MessageDialogHook = nullptr;
    OpenFileDialogHook = nullptr;
    EXPECT_EQ(MessageDialog(u"m", TMsgDlgType::mtWarning, mbOK, 0), -1);
    EXPECT_FALSE(AskYesNo(u"m"));
    int answer = 0;
    AskYesNoCancel(u"m", answer);
    EXPECT_EQ(answer, -1);
    ShowInformation(u"m"); // returns, nothing shown
    std::u16string fileName = u"/tmp/keep.xml";
    EXPECT_FALSE(OpenFileDialog(fileName, u"xml", u""));
    EXPECT_EQ(fileName, u"/tmp/keep.xml");
}

TEST(Dialogs, OpenFileHookSeesItsArguments) {
    OpenFileDialogHook = [](std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter) {
        fileName += u"|" + defaultExt + u"|" + filter;
        return true;
    };
    std::u16string fileName = u"/a/b.xml";
    EXPECT_TRUE(OpenFileDialog(fileName, u"xml", u"XML|*.xml"));
    EXPECT_EQ(fileName, u"/a/b.xml|xml|XML|*.xml");
    OpenFileDialogHook = nullptr;
}
