// The program's entry: the application object, the main window and the two check
// dialogs, the message loop, and the exit status the command-line mode set.

#include "base/CommandLine.h"
#include "base/ExceptionText.h"
#include "support/Dialogs.h"
#include "support/LogFile.h"
#include "support/MultiTypeApp.h"
#include "support/gui/DialogsGui.h"
#include "support/gui/MultiTypeAppGui.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

#include <QApplication>

#include <cstdlib>

namespace {

bool HasEnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Nobody is there to close a message of an unattended run: its text goes to the
// info log and the console's answer is taken (No to every question).
void InstallUnattendedDialogHooks() {
    using namespace orvex;
    MessageDialogHook = [](const std::u16string& text, TMsgDlgType, TMsgDlgButtons, int32_t) {
        WriteInfoLog(u"Not shown in an unattended run: " + text);
        return -1;
    };
    OpenFileDialogHook = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    orvex::SetCommandLine(argc, argv);
    // Without a display (a cron job running "/backup ... /q") the window lives offscreen.
    if (!HasEnvironmentValue("QT_QPA_PLATFORM") && !HasEnvironmentValue("DISPLAY") &&
        !HasEnvironmentValue("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    orvex::InstallGuiDialogHooks();
    if (orvex::IsUnattendedRun())
        InstallUnattendedDialogHooks();
    orvex::InstallGuiApplication();
    orvex::TMultiTypeApplication& program = orvex::MultiTypeApplication();
    program.Initialize();
    try {
        std::unique_ptr<orvex::TMainForm> form;
        orvex::TFormRef reference = nullptr;
        program.CreateForm(
            [&form] {
                form = orvex::CreateProgramWindows();
                return static_cast<orvex::TFormRef>(static_cast<QWidget*>(form.get()));
            },
            reference);
        program.Run();
        return form->ExitStatus();
    } catch (const std::exception& error) {
        orvex::ShowError(orvex::ExceptionMessage(error));
        return 1;
    }
}
