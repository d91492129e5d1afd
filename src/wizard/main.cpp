// The program's entry: the application object, the main window and the two check
// dialogs, the message loop, and the exit status the command-line mode set.

#include "base/CommandLine.h"
#include "base/ExceptionText.h"
#include "base/LineText.h"
#include "base/SafePath.h"
#include "base/Utf.h"
#include "base/XDisplayProbe.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/LogFile.h"
#include "support/MultiTypeApp.h"
#include "support/gui/DialogsGui.h"
#include "support/gui/MultiTypeAppGui.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

#include <QApplication>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
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

// noun ("Command-line argument") with the one quoted argument, or its plural with each.
std::u16string NamedArguments(std::u16string_view noun, const std::vector<std::u16string>& quoted) {
    std::u16string text = std::u16string(noun) + (quoted.size() == 1 ? u" " : u"s ");
    for (size_t i = 0; i < quoted.size(); ++i)
        text += (i ? u", " : u"") + quoted[i];
    return text;
}

// The arguments that are no switch, option or option's value, named for the user;
// empty when there are none.
std::u16string UnknownArgumentsText() {
    using namespace orvex;
    std::vector<std::u16string> unknown;
    for (const int index : UnknownCmdLineParameters(kSwitches, kOptions))
        unknown.push_back(QuotedValue(ParamStr(index)));
    return unknown.empty() ? std::u16string() : NamedArguments(u"Unknown command-line argument", unknown);
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
        text = u"Command-line option " + QuotedValue(ParamStr(option)) + u" has no value";
    if (text.empty())
        return true;
    ReportInInfoLogAndOnStandardError(text + kAcceptedArguments);
    return false;
}

// An argument that is not UTF-8 would reach the program changed (a file name with
// U+FFFD in it): it ends the run, named byte for byte.
bool ArgumentsAreUtf8(int argc, char** argv) {
    using namespace orvex;
    std::vector<std::u16string> wrong;
    for (int i = 1; i < argc; ++i)
        if (!IsWellFormedUtf8(argv[i]))
            wrong.push_back(QuotedValueOfBytes(argv[i]));
    if (wrong.empty())
        return true;
    ReportInInfoLogAndOnStandardError(NamedArguments(u"Command-line argument", wrong) + (wrong.size() == 1 ? u" is" : u" are") +
                                      u" not UTF-8 text: nothing was done.");
    return false;
}

bool IsQtOption(const char* argument, std::string_view option) {
    std::string_view text = argument;
    if (text.starts_with("--"))  // Qt takes its options with two dashes too
        text.remove_prefix(1);
    return text == option;
}

// The platforms the caller chose with QT_QPA_PLATFORM or "-platform", which wins,
// as Qt reads them; "" when the caller chose none, which Qt reads as its default.
std::string ChosenPlatforms(const std::vector<char*>& qtArguments) {
    std::string chosen = EnvironmentText("QT_QPA_PLATFORM");
    for (size_t i = 1; i + 1 < qtArguments.size(); ++i)
        if (IsQtOption(qtArguments[i], "-platform"))
            chosen = qtArguments[i + 1];
    return chosen;
}

// The X display that DISPLAY or "-display", which wins, names ("" when none).
std::string XDisplayName(const std::vector<char*>& qtArguments) {
    std::string name = EnvironmentText("DISPLAY");
    for (size_t i = 1; i + 1 < qtArguments.size(); ++i)
        if (IsQtOption(qtArguments[i], "-display"))
            name = qtArguments[i + 1];
    return name;
}

// Qt's display platforms for the displays the environment or "-display" names,
// in the order Qt itself would try them, then offscreen: a display that is not
// there (a DISPLAY left in a crontab) must not abort the program.
QByteArrayList DisplayPlatforms(const std::string& x11, const std::string& wayland) {
    // Qt prefers Wayland in a Wayland session, except on GNOME.
    const auto onGnome = [] {
        return QByteArray::fromStdString(EnvironmentText("XDG_CURRENT_DESKTOP") + EnvironmentText("XDG_SESSION_DESKTOP"))
            .toLower()
            .contains("gnome");
    };
    const bool waylandFirst = EnvironmentText("XDG_SESSION_TYPE") == "wayland" && !onGnome();
    QByteArrayList platforms;
    if (!x11.empty())
        platforms.append("xcb");
    if (!wayland.empty())
        platforms.insert(waylandFirst ? 0 : platforms.size(), "wayland");
    platforms.append("offscreen");
    return platforms;
}

// An entry of a platform list is a name, then its arguments after ':'.
QByteArray PlatformName(const QByteArray& entry) { return entry.split(':').first(); }

// The platforms Qt tries, in order, and what the messages about them name.
struct TPlatformChoice {
    QByteArrayList Platforms;
    bool Chosen = false;   // by the caller, where Qt's messages are its own
    std::string XDisplay;  // as Qt is to connect to it; "" where no X display answered
    // The displays that could not be opened, named where Qt ends offscreen: every
    // one named where Orvex chose the platforms, else the X display left out.
    std::vector<std::string> Displays;
};

// The caller's platforms, or Qt's for the displays named, with xcb left out where
// its display does not answer, or, for an unattended run, where its server is
// another user's: Qt would wait for it forever. Nothing, the display named, where
// nothing usable remains of the caller's: only Wayland with no Wayland display
// named, or none at all.
std::optional<TPlatformChoice> ChoosePlatforms(const std::vector<char*>& qtArguments) {
    TPlatformChoice choice;
    const std::string x11 = XDisplayName(qtArguments), wayland = EnvironmentText("WAYLAND_DISPLAY");
    if (const std::string chosen = ChosenPlatforms(qtArguments); !chosen.empty()) {
        choice.Chosen = true;
        choice.Platforms = QByteArray::fromStdString(chosen).split(';');
        choice.Platforms.removeAll(QByteArray());
    } else {
        choice.Platforms = DisplayPlatforms(x11, wayland);
        for (const QByteArray& platform : choice.Platforms)
            if (platform != "offscreen")
                choice.Displays.push_back(platform == "xcb" ? x11 : wayland);
    }
    const auto isX = [](const QByteArray& entry) { return PlatformName(entry) == "xcb"; };
    if (x11.empty() || std::none_of(choice.Platforms.begin(), choice.Platforms.end(), isX))
        return choice;
    const orvex::TXDisplayProbe probe = orvex::ProbeXDisplay(x11);
    const bool othersServer = orvex::IsUnattendedRun() && probe.Owner && !orvex::IsTrustedOwner(*probe.Owner);
    if (!probe.NeverAnswers && !othersServer) {
        choice.XDisplay = probe.Name;
        return choice;
    }
    choice.Platforms.removeIf(isX);
    if (!choice.Chosen)
        return choice;
    choice.Displays = {x11};
    const auto usable = [&wayland](const QByteArray& entry) {
        return !wayland.empty() || !PlatformName(entry).startsWith("wayland");
    };
    if (std::any_of(choice.Platforms.begin(), choice.Platforms.end(), usable))
        return choice;
    orvex::PrintErrorLine(u"The display " +
                          (othersServer ? orvex::Utf8ToUtf16(orvex::OwnerRefusal(*probe.Owner, x11))
                                        : orvex::QuotedValue(orvex::Utf8ToUtf16(x11)) + u" does not answer") +
                          u": nothing was done.");
    return std::nullopt;
}

// Leaves out each of Qt's options named so, with its value, as Qt would take them.
void LeaveOutQtOption(std::vector<char*>& qtArguments, std::string_view option) {
    for (auto at = qtArguments.begin() + 1; at + 1 < qtArguments.end();)
        at = IsQtOption(*at, option) ? qtArguments.erase(at, at + 2) : at + 1;
}

// The variable's value; nothing where it is not set.
std::optional<QByteArray> EnvironmentValue(const char* name) {
    return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
}

void RestoreEnvironmentValue(const char* name, const std::optional<QByteArray>& value) {
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

// Qt's messages about its display platforms, held while the application object
// starts: a display that cannot be opened is then named in one line of ours.
struct THeldMessage {
    QtMsgType Type;
    std::string Category;
    QString Text;
};
std::vector<THeldMessage> gHeldMessages;
QtMessageHandler gPassedMessages = nullptr;

void ReleasePlatformMessages(bool passOn);

void HoldPlatformMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {  // the process ends here: what was held tells why
        ReleasePlatformMessages(true);
        gPassedMessages(type, context, text);
    } else if (context.category && std::string_view(context.category).starts_with("qt.qpa."))
        gHeldMessages.push_back({type, context.category, text});
    else
        gPassedMessages(type, context, text);
}

void HoldPlatformMessages() { gPassedMessages = qInstallMessageHandler(HoldPlatformMessage); }

// Stops holding; what was held goes where it was going, or nowhere.
void ReleasePlatformMessages(bool passOn) {
    qInstallMessageHandler(gPassedMessages);
    for (const THeldMessage& message : passOn ? gHeldMessages : std::vector<THeldMessage>())
        gPassedMessages(message.Type, QMessageLogContext(nullptr, 0, nullptr, message.Category.c_str()), message.Text);
    gHeldMessages.clear();
}

// Qt names a runtime folder of its own when XDG_RUNTIME_DIR is unset (as under
// cron), with a warning on standard error: the same folder is named here, so that a
// clean run prints nothing. One that is not this user's private folder is left to
// Qt to complain about.
void NameRuntimeFolder() {
    if (!EnvironmentText("XDG_RUNTIME_DIR").empty())
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

// "There is no display", or the displays that could not be opened.
std::u16string NoDisplayText(const std::vector<std::string>& displays) {
    if (displays.empty())
        return u"There is no display";
    std::u16string text = u"The display ";
    for (size_t i = 0; i < displays.size(); ++i)
        text += (i ? u" or " : u"") + orvex::QuotedValue(orvex::Utf8ToUtf16(displays[i]));
    return text + u" cannot be opened";
}

bool IsOneOf(int index, const std::vector<int>& indexes) {
    return std::find(indexes.begin(), indexes.end(), index) != indexes.end();
}

} // namespace

int main(int argc, char** argv) {
    // The command line as typed. Orvex's options and their values are its own:
    // Qt takes its options (-platform, -style, -display...) only from the rest.
    orvex::SetCommandLine(argc, argv);
    if (!ArgumentsAreUtf8(argc, argv))
        return 1;
    const std::vector<int> own = orvex::CmdLineOptionParameters(kSwitches, kOptions);
    std::vector<char*> qtArguments{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (!IsOneOf(i, own))
            qtArguments.push_back(argv[i]);
    // Without a display (a cron job running "/backup ... /q") the window lives
    // offscreen.
    const std::optional<TPlatformChoice> choice = ChoosePlatforms(qtArguments);
    if (!choice)
        return 2;
    // Qt reads both while the application object starts, where its own options
    // name neither (so they are left out); the programs this one starts (the
    // manual's viewer) get the caller's.
    const std::optional<QByteArray> callersPlatforms = EnvironmentValue("QT_QPA_PLATFORM"),
                                    callersDisplay = EnvironmentValue("DISPLAY");
    qputenv("QT_QPA_PLATFORM", choice->Platforms.join(';'));
    LeaveOutQtOption(qtArguments, "-platform");
    if (!choice->XDisplay.empty()) {
        qputenv("DISPLAY", QByteArray::fromStdString(choice->XDisplay));
        LeaveOutQtOption(qtArguments, "-display");
    }
    NameRuntimeFolder();
    int qtCount = static_cast<int>(qtArguments.size());
    // Held only for the platforms chosen here: one the caller chose fails with
    // Qt's own reason.
    if (!choice->Chosen)
        HoldPlatformMessages();
    QApplication application(qtCount, qtArguments.data());
    // Offscreen, also where the caller chose it or the display could not be
    // opened, anything but an unattended backup would wait for a user who cannot come.
    const QString platform = QGuiApplication::platformName();
    const bool offscreen = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    if (!choice->Chosen)
        ReleasePlatformMessages(!offscreen || choice->Displays.empty());
    RestoreEnvironmentValue("QT_QPA_PLATFORM", callersPlatforms);
    RestoreEnvironmentValue("DISPLAY", callersDisplay);
    // What Qt left, with Orvex's own, in the order typed; "-display NAME" means
    // nothing where Qt leaves it.
    const std::set<const char*> left(qtArguments.begin(), qtArguments.begin() + qtCount);
    std::vector<const char*> arguments{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (IsQtOption(argv[i], "-display") && left.count(argv[i]))
            i += i + 1 < argc && left.count(argv[i + 1]) ? 1 : 0;
        else if (IsOneOf(i, own) || left.count(argv[i]))
            arguments.push_back(argv[i]);
    }
    orvex::SetCommandLine(static_cast<int>(arguments.size()), arguments.data());
    if (!CommandLineIsKnown())
        return 1;
    if (offscreen && !orvex::IsUnattendedRun()) {
        std::u16string text = NoDisplayText(choice->Displays) +
                              u", and only /backup with /q runs without one: nothing was done.";
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
