#include "support/Dialogs.h"

namespace orvex {

TMessageDialogHook MessageDialogHook;
TOpenFileDialogHook OpenFileDialogHook;

int DefaultMessageDialog(const std::u16string&, TMsgDlgType, TMsgDlgButtons, int32_t) { return -1; }

bool DefaultOpenFileDialog(std::u16string&, const std::u16string&, const std::u16string&) { return false; }

int MessageDialog(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int32_t helpCtx) {
    if (MessageDialogHook)
        return MessageDialogHook(msg, dlgType, buttons, helpCtx);
    return DefaultMessageDialog(msg, dlgType, buttons, helpCtx);
}

bool OpenFileDialog(std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter) {
    if (OpenFileDialogHook)
        return OpenFileDialogHook(fileName, defaultExt, filter);
    return DefaultOpenFileDialog(fileName, defaultExt, filter);
}

void ShowInformation(const std::u16string& msg) { MessageDialog(msg, TMsgDlgType::mtInformation, mbOK, 0); }

void ShowWarning(const std::u16string& msg) { MessageDialog(msg, TMsgDlgType::mtWarning, mbOK, 0); }

void ShowError(const std::u16string& msg) { MessageDialog(msg, TMsgDlgType::mtError, mbOK, 0); }

bool AskYesNo(const std::u16string& msg) {
    return MessageDialog(msg, TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) == mrYes;
}

void AskYesNoCancel(const std::u16string& msg, int& answer) {
    answer = MessageDialog(msg, TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, 0);
}

} // namespace orvex
