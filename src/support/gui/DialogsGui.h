#pragma once
// The Qt halves of the dialog front ends: a modal message box and an open-file
// dialog, installed as the hooks of support/Dialogs.h.

#include "support/Dialogs.h"

#include <QStringList>

class QWidget;

namespace orvex {

// The window a dialog belongs to: the shown modal dialog, else the active window,
// else the program's visible main window (a modal dialog that just closed may
// leave the platform with no active window, or a hidden one, for a while).
QWidget* DialogParent();

// Sets MessageDialogHook and OpenFileDialogHook to the functions below. Called once
// by the program's main after the QApplication exists.
void InstallGuiDialogHooks();

// A modal message box with the kind's icon and the buttons of the set, centred on
// DialogParent. Returns 1 OK, 2 Cancel, 6 Yes, 7 No; Escape or closing the box
// gives Cancel, else No, else OK, and never Yes.
int GuiMessageDialog(const std::u16string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, int32_t helpCtx);

// An open-file dialog that starts in fileName's folder with its name preset; on
// confirmation fileName becomes the chosen file's full path. An empty filter means
// "All Files|*.*".
bool GuiOpenFileDialog(std::u16string& fileName, const std::u16string& defaultExt, const std::u16string& filter);

// "Text files|*.txt;*.log|All Files|*.*" as Qt name filters:
// {"Text files (*.txt *.log)", "All Files (*.*)"}.
QStringList QtNameFilters(const std::u16string& filter);

} // namespace orvex
