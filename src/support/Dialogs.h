#pragma once
// Message and open-file dialogs behind replaceable hooks, so the same code runs with
// a GUI (the hooks of support/gui/DialogsGui.h) or as a console program would (the
// defaults below).

#include <cstdint>
#include <functional>
#include <string>

namespace orvex {

enum class TMsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3 };

// Button set bits.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1u << 0;
constexpr TMsgDlgButtons mbNo = 1u << 1;
constexpr TMsgDlgButtons mbOK = 1u << 2;
constexpr TMsgDlgButtons mbCancel = 1u << 3;

// Modal results.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

using TMessageDialogHook =
    std::function<int(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int32_t helpCtx)>;
using TOpenFileDialogHook =
    std::function<bool(std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter)>;

// The hooks in force; while one is empty its console default answers. Set before
// the first window exists, from the main thread.
extern TMessageDialogHook MessageDialogHook;
extern TOpenFileDialogHook OpenFileDialogHook;

// Console answers: a message gives -1, an open-file dialog false (fileName unchanged).
int DefaultMessageDialog(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                         int32_t helpCtx);
bool DefaultOpenFileDialog(std::u16string& fileName, const std::u16string& defaultExt,
                           const std::u16string& filter);

// Calls the message hook, or its default.
int MessageDialog(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int32_t helpCtx);
// Calls the open-file hook, or its default.
bool OpenFileDialog(std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter);

// The front ends; whatever the hook raises passes to the caller.
void ShowInformation(const std::u16string& msg);
void ShowWarning(const std::u16string& msg);
void ShowError(const std::u16string& msg);
// True exactly when the answer is Yes (6).
bool AskYesNo(const std::u16string& msg);
// The hook's answer unchanged: 6 Yes, 7 No, 2 Cancel, -1 without a GUI.
void AskYesNoCancel(const std::u16string& msg, int& answer);

} // namespace orvex
