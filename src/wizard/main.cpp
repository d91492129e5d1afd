// The program's entry: the application object, the main window and the two check
// dialogs, the message loop, and the exit status the command-line mode set.

#include "base/CommandLine.h"
#include "base/ExceptionText.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/LogFile.h"
#include "support/MultiTypeApp.h"
#include "support/gui/DialogsGui.h"
#include "support/gui/MultiTypeAppGui.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
        ReportInInfoLog(u"Not shown in an unattended run: " + text);
        return -1;
    };
    OpenFileDialogHook = nullptr;
}

// The command-line mode's switches and options (the arrays live as long as the lists).
const std::initializer_list<std::u16string_view> kSwitches = {u"/backup", u"/q", u"/o"};
const std::initializer_list<std::u16string_view> kOptions = {u"-n", u"-m", u"-f"};

// The arguments that are no switch, option or option's value, named for the user
// with what is accepted; empty when there are none.
std::u16string UnknownArgumentsText() {
    using namespace orvex;
    const std::vector<int> unknown = UnknownCmdLineParameters(kSwitches, kOptions);
    if (unknown.empty())
        return {};
    std::u16string text = unknown.size() == 1 ? u"Unknown command-line argument " : u"Unknown command-line arguments ";
    for (size_t i = 0; i < unknown.size(); ++i)
        text += (i ? u", " : u"") + QuotedCmdLineParameter(ParamStr(unknown[i]));
    return text;
}

const char16_t* const kAcceptedArguments =
    u"; accepted are the switches /backup, /q and /o (beginning with \"/\" or \"-\", in any case) and the options "
    u"-n NAME, -m MACHINE and -f FILE (written exactly so)";

// A typo in the command-line mode must not back up something else under the
// default name or into another file: a parameter that is no switch, option or
// option's value, or an option without its value, ends the run before anything
// is written.
bool CommandLineIsKnown() {
    using namespace orvex;
    if (!HasCmdLineSwitch(u"/backup"))
        return true;
    std::u16string text = UnknownArgumentsText();
    if (const int option = CmdLineOptionWithoutValue(kSwitches, kOptions);
        text.empty() && option > 0)
        text = u"Command-line option " + QuotedCmdLineParameter(ParamStr(option)) + u" has no value";
    if (text.empty())
        return true;
    text += kAcceptedArguments;
    WriteInfoLog(text);
    PrintErrorLine(text);
    return false;
}

// Qt names a runtime folder of its own when XDG_RUNTIME_DIR is unset (as under
// cron), with a warning on standard error: the same folder is named here, so that a
// clean run prints nothing. One that is not this user's private folder is left to
// Qt to complain about.
void NameRuntimeFolder() {
    if (HasEnvironmentValue("XDG_RUNTIME_DIR"))
        return;
    const passwd* user = ::getpwuid(::geteuid());
    std::error_code error;
    const std::string folder = (std::filesystem::temp_directory_path(error) /
                                ("runtime-" + (user ? std::string(user->pw_name) : std::to_string(::geteuid()))))
                                   .string();
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 0777) == 0700)
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

} // namespace

int main(int argc, char** argv) {
    // Without a display (a cron job running "/backup ... /q") the window lives
    // offscreen.
    if (!HasEnvironmentValue("QT_QPA_PLATFORM") && !HasEnvironmentValue("DISPLAY") &&
        !HasEnvironmentValue("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    NameRuntimeFolder();
    // Qt takes its own options (-platform, -style, -display...) out of the
    // arguments; the rest is ours.
    QApplication application(argc, argv);
    orvex::SetCommandLine(argc, argv);
    if (!CommandLineIsKnown())
        return 1;
    // Offscreen, also where the caller chose it, anything but an unattended backup
    // would wait for a user who cannot come.
    const QString platform = QGuiApplication::platformName();
    if ((platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) && !orvex::IsUnattendedRun()) {
        std::u16string text = u"There is no display, and only /backup with /q runs without one: nothing was done.";
        if (const std::u16string unknown = UnknownArgumentsText(); !unknown.empty())
            text += u" " + unknown + kAcceptedArguments;
        orvex::PrintErrorLine(text);
        return 2;
    }
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
