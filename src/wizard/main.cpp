// The program's entry: the application object, the main window and the two check
// dialogs, the message loop, and the exit status the command-line mode set.

#include "base/CommandLine.h"
#include "base/ExceptionText.h"
#include "base/LineText.h"
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
// as Qt reads them; nothing when the caller chose none.
std::optional<std::string> ChosenPlatforms(const std::vector<char*>& qtArguments) {
    std::optional<std::string> chosen;
    if (std::string platforms = EnvironmentText("QT_QPA_PLATFORM"); !platforms.empty())
        chosen = platforms;
    for (size_t i = 1; i < qtArguments.size(); ++i)
        if (IsQtOption(qtArguments[i], "-platform"))
            chosen = i + 1 < qtArguments.size() ? qtArguments[i + 1] : chosen.value_or("");
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
// there (a DISPLAY left in a crontab) or never answers (a stopped server) must
// not abort or hold the program. The displays named, for the message (none when
// there is no display); nothing when the caller chose the platform.
std::optional<std::vector<std::string>> ChooseDisplayPlatforms(const std::vector<char*>& qtArguments) {
    if (ChosenPlatforms(qtArguments))
        return std::nullopt;
    const std::string x11 = XDisplayName(qtArguments);
    const std::string wayland = EnvironmentText("WAYLAND_DISPLAY");
    // Qt prefers Wayland in a Wayland session, except on GNOME.
    const auto onGnome = [] {
        return QByteArray::fromStdString(EnvironmentText("XDG_CURRENT_DESKTOP") + EnvironmentText("XDG_SESSION_DESKTOP"))
            .toLower()
            .contains("gnome");
    };
    const bool waylandFirst = EnvironmentText("XDG_SESSION_TYPE") == "wayland" && !onGnome();
    std::vector<std::pair<std::string, std::string>> tried;  // platform, display
    if (!x11.empty())
        tried.emplace_back("xcb", x11);
    if (!wayland.empty())
        tried.emplace(waylandFirst ? tried.begin() : tried.end(), "wayland", wayland);
    std::string platforms;
    std::vector<std::string> displays;
    for (const auto& [platform, display] : tried) {
        // One that never answers is left out, and named as one that cannot be opened.
        if (platform != "xcb" || !orvex::ProbeXDisplay(display).NeverAnswers)
            platforms += platform + ";";
        displays.push_back(display);
    }
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platforms + "offscreen"));
    return displays;
}

// Qt would wait forever for an X display that never answers: where the caller
// chose the X platform first, the program ends naming the display instead.
bool ChosenXDisplayAnswers(const std::vector<char*>& qtArguments) {
    const std::string chosen = ChosenPlatforms(qtArguments).value_or("");
    if (std::string_view(chosen).substr(0, chosen.find_first_of(";:")) != "xcb")
        return true;
    const std::string display = XDisplayName(qtArguments);
    if (display.empty() || !orvex::ProbeXDisplay(display).NeverAnswers)
        return true;
    orvex::PrintErrorLine(u"The display " + orvex::QuotedValue(orvex::Utf8ToUtf16(display)) +
                          u" does not answer: nothing was done.");
    return false;
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
    if (!ChosenXDisplayAnswers(qtArguments))
        return 2;
    // Without a display (a cron job running "/backup ... /q") the window lives
    // offscreen.
    const std::optional<std::vector<std::string>> displays = ChooseDisplayPlatforms(qtArguments);
    NameRuntimeFolder();
    int qtCount = static_cast<int>(qtArguments.size());
    // Held only for the platforms chosen here: one the caller chose fails with
    // Qt's own reason.
    if (displays)
        HoldPlatformMessages();
    QApplication application(qtCount, qtArguments.data());
    // Offscreen, also where the caller chose it or the display could not be
    // opened, anything but an unattended backup would wait for a user who cannot come.
    const QString platform = QGuiApplication::platformName();
    const bool offscreen = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    if (displays) {
        ReleasePlatformMessages(!offscreen || displays->empty());
        // Qt reads it only while the application object starts; the programs this
        // one starts (the manual's viewer) choose their own platform.
        qunsetenv("QT_QPA_PLATFORM");
    }
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
        std::u16string text = NoDisplayText(displays.value_or(std::vector<std::string>())) +
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
