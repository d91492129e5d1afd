#pragma once
// One main window per test on the offscreen platform: files beside the executable
// and the emulated machines reset, modal questions and file dialogs answered
// through the dialog hooks, and any Qt warning failing the test.

#include "../engine/TempFolder.h"
#include "base/CommandLine.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "platform/EmulatedMachine.h"
#include "support/Dialogs.h"
#include "support/Shell.h"
#include "support/gui/DialogsGui.h"
#include "wizard/LogView.h"
#include "wizard/MainForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QRadioButton>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvex::test {

struct TShownMessage {
    std::u16string Text;
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
    QWidget* Parent;  // the window it belongs to
};

inline std::string U8(const QString& text) { return text.toStdString(); }
inline std::string U8(std::u16string_view text) { return Utf16ToUtf8(text); }

// A widget a test looks up by name is not there: the test fails with its name
// instead of crashing on a null pointer.
class EMissingWidget : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The child of parent named name, never null.
template <class T>
T* ChildNamed(const QObject& parent, const char* name) {
    if (T* found = parent.findChild<T*>(QString::fromUtf8(name)))
        return found;
    throw EMissingWidget(std::string("no ") + T::staticMetaObject.className() + " named \"" + name + "\"");
}

class TWizardTest : public ::testing::Test {
protected:
    // Files the window reads or writes beside the executable.
    static constexpr const char* kBesideFiles[] = {"config.ini", "MetalClang.wav", "Orvex_GUI_Text.xml",
                                                   "SupportedProperty.xml", "Tarnwell_Reference.pdf",
                                                   "Orvex_Manual.html"};

    void SetUp() override {
        Warnings().clear();
        FPreviousHandler = qInstallMessageHandler(CollectWarnings);
        for (const char* name : kBesideFiles)
            std::filesystem::remove_all(Beside(name));
        std::filesystem::create_directories(FTemp.File("machines"));
        setenv("ORVEX_MACHINES", FTemp.File("machines").c_str(), 1);
        CloseMachines();
        SetCommandLineArguments({});
        MessageDialogHook = [this](const std::u16string& text, TMsgDlgType type, TMsgDlgButtons buttons, int32_t) {
            Messages.push_back({text, type, buttons, DialogParent()});
            if (!(buttons & (mbYes | mbNo)))
                return mrOk;
            if (Answers.empty())
                return mrNo;
            const int answer = Answers.front();
            Answers.erase(Answers.begin());
            return answer;
        };
        ShellOpenHook = [this](std::u16string_view target) {
            Opened.emplace_back(target);
            return DesktopOpens;
        };
        OpenFileDialogHook = [this](std::u16string& fileName, const std::u16string&, const std::u16string& filter) {
            FileDialogStarts.push_back(fileName);
            FileDialogFilters.push_back(filter);
            if (!ChosenFile)
                return false;
            fileName = *ChosenFile;
            return true;
        };
    }

    void TearDown() override {
        CloseForm();
        MessageDialogHook = nullptr;
        OpenFileDialogHook = nullptr;
        ShellOpenHook = nullptr;
        CloseMachines();
        ResetCachedBackupDocument();
        SetBackupFileName(u"");
        unsetenv("ORVEX_MACHINES");
        qInstallMessageHandler(FPreviousHandler);
        for (const char* name : kBesideFiles)
            std::filesystem::remove_all(Beside(name));
        EXPECT_EQ(Warnings(), std::vector<std::string>()) << "Qt warnings during the test";
    }

    // The program's windows, made and shown (and activated) on first use.
    TMainForm& Form() {
        if (!FForm) {
            FForm = CreateProgramWindows();
            FForm->show();
            FForm->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(FForm.get()));
        }
        return *FForm;
    }
    void CloseForm() { FForm.reset(); }

    // Parameters after the program's path.
    static void SetCommandLineArguments(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "orvex");
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        SetCommandLine(static_cast<int>(argv.size()), argv.data());
    }

    template <class T>
    T* Find(const char* name) {
        return ChildNamed<T>(Form(), name);
    }

    // A click as a user makes it: only on a visible, enabled button.
    void Click(const char* name) {
        auto* button = Find<QAbstractButton>(name);
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << name << " cannot be clicked";
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // A backup of the local machine from the mode page into file, through the
    // pages as a user clicks them; it ends on backup page 4.
    void BackUpFromThePages(const std::u16string& file) {
        Click("btnnext");
        Click("btnnext");
        SetText("editBackupMetafile", file);
        Click("btnnext");
        Click("btnnext");
    }

    void Trigger(const char* name) {
        auto* action = Find<QAction>(name);
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }

    static std::filesystem::path Beside(const std::string& name) {
        return std::filesystem::path(Utf16ToUtf8(ExecutableFolder())) / name;
    }
    std::filesystem::path Temp(const std::string& name) const { return FTemp.File(name); }
    std::u16string Temp16(const std::string& name) const { return FTemp.File16(name); }

    // Saved into the build folder for a reviewer to look at: the main window, or
    // another window.
    void Screenshot(const std::string& name, QWidget* window = nullptr) {
        const std::filesystem::path folder = Beside("screenshots");
        std::filesystem::create_directories(folder);
        QApplication::processEvents();
        EXPECT_TRUE((window ? window : &Form())->grab().save(QString::fromStdString((folder / (name + ".png")).string())));
    }

    std::string LogText() { return U8(Find<TLogView>("rtLog")->toPlainText()); }

    // The error sound was asked for since the window was made (its file is
    // written by the first request of each window).
    static bool SoundPlayed() { return std::filesystem::exists(Beside("MetalClang.wav")); }

    // A copy of a fixture backup file in the test's folder.
    std::u16string CopyFixture(const std::string& name) {
        std::filesystem::copy_file(std::filesystem::path(ORVEX_TEST_DATA) / "wizard" / name, Temp(name),
                                   std::filesystem::copy_options::overwrite_existing);
        return Temp16(name);
    }

    void SetText(const char* edit, std::u16string_view text) {
        Find<QLineEdit>(edit)->setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    }

    void Choose(std::initializer_list<const char*> radioButtons) {
        for (const char* button : radioButtons)
            Find<QRadioButton>(button)->setChecked(true);
    }

    // From the mode page through restore page 1 with this file, to restore page 2.
    void LoadRestoreFile(const std::u16string& fileName) {
        Choose({"rbRestore"});
        Click("btnnext");
        SetText("editRestoreMetafile", fileName);
        Click("btnnext");
        ASSERT_EQ(Form().ActivePage(), wpRestore2);
    }

    static std::vector<std::string>& Warnings() {
        static std::vector<std::string> warnings;
        return warnings;
    }

    std::vector<TShownMessage> Messages;
    std::vector<int> Answers;  // to yes/no questions, in turn; No when used up
    std::optional<std::u16string> ChosenFile;  // the open-file dialog's answer; none cancels
    std::vector<std::u16string> FileDialogStarts;
    std::vector<std::u16string> FileDialogFilters;
    std::vector<std::u16string> Opened;  // what the desktop was asked to open
    bool DesktopOpens = true;            // its answer

private:
    static void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            Warnings().push_back(message.toStdString());
    }

    TTempFolder FTemp;
    std::unique_ptr<TMainForm> FForm;
    QtMessageHandler FPreviousHandler = nullptr;
};

} // namespace orvex::test
