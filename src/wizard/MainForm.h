#pragma once
// The main window: the wizard's pages in one page control, the bottom bar with its
// buttons, the menus and the log view. It installs the engine's host and log sink
// for its lifetime, owns the GUI-text catalogue, the language list, the error sound
// and the command-line timer.

#include "keyedconfig/VeldarXmlDoc.h"
#include "wizard/WizardHost.h"

#include <QMainWindow>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QTimer;
class QTreeWidgetItem;

namespace Ui {
class MainForm;
}

namespace orvex {

class TCheckTreeWidget;
class TErrorSound;
class TFormatValue;
class TLogView;
class TPropertyPane;

// The pages of pageControlPanel, by index.
enum TWizardPage : int {
    wpMain = 0,
    wpBackup1,
    wpBackup2,
    wpBackup3,
    wpBackup4,
    wpRestore1,
    wpRestore2,
    wpRestore3,
    wpRestore4,
    wpRestore5,
};

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // The start-up of the window: caption, "config.ini", the supported-property
    // table, the log, the catalogue and its texts, the command-line timer.
    explicit TMainForm(QWidget* parent = nullptr);
    // Deletes the error sound's file.
    ~TMainForm() override;

    // The language code of every dialog text: userlingvo, or "eng" when empty.
    std::u16string Getlingvo() const;
    TVeldarXmlDoc* Catalogue() const { return ZDoc.get(); }
    // CR LF CR LF and the catalogue's "DialogYesNo" keyword, or empty.
    const std::u16string& DialogYesNoLastLine() const { return FKeywordDialogYesNoLastLine; }
    const std::u16string& BackupMachineName() const { return FBackupMachineName; }
    // The catalogue's "Cancel" keyword.
    const std::u16string& KeywordCancel() const { return FKeywordCancel; }
    TLogView& LogView() const;
    TCheckTreeWidget& RestoreTree() const;
    // The check dialogs saved the restore file: the property list of the selected
    // restore node shows the file again; the tree and its check marks stay.
    void RestoreFileSaved();

    // The catalogue's dialog text of type and id in the current language, formatted
    // with values; ShowMessageText shows it with the front end its type names.
    std::u16string MessageText(std::u16string_view type, std::u16string_view id,
                               std::initializer_list<TFormatValue> values = {}) const;
    void ShowMessageText(std::u16string_view type, std::u16string_view id,
                         std::initializer_list<TFormatValue> values = {}) const;

    // Plays the error sound; the caller stays on its page.
    void NoiseForError();

    // The process exit status: 0 unless the command-line mode set it.
    int ExitStatus() const { return FExitStatus; }
    // True while a backup, restore or load runs: the window will not close and
    // the handlers refuse to run.
    bool IsBusy() const { return FBusy; }

    int ActivePage() const;

public slots:
    void btnnextClick();
    void btnbackClick();
    void btnBackupBrowseClick();
    void btnrestorebrownClick();
    void tvMouseDown(Qt::MouseButton button, const QPoint& position);
    void tvSpaceDown();
    void tvBackupChange(QTreeWidgetItem* node);
    void tvRestoreChange(QTreeWidgetItem* node);
    void actionSelectAllSitesRExecute();
    void actionDeleteNodeRExecute();
    void actionDeleteNodeBExecute();
    void actionPropertyAddRExecute();
    void actionPropertyEditRExecute();
    void actionPropertyDeleteRExecute();
    void lvPropertyDblClick();
    void lvPropertyRContextPopup(const QPoint& position);
    void btnCancelClick();
    void btnfinishClick();
    void btnaboutClick();
    void miFeedbackClick();
    void actionManualExecute();
    void actionReleaseNotesExecute();
    void actionClearLogExecute();
    void CboxLingvoChange();
    void miTolkaraClick();
    void rtLogContextPopup(const QPoint& position);
    void CommandLineTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Start-up steps.
    void FormCreate();
    void FormShow();
    void FormActivate();
    void ReadSettings();

    // Texts and languages.
    void ReloadForm();
    void LoadCatalogue();
    void BuildLanguageMenu();
    void TranslatePage(std::u16string_view moduleId, QWidget* page, std::u16string_view propertyName);
    void SetArrowCaptions();
    // Opens target with the desktop; says "cannotopenmanual" when it is not present
    // or cannot be opened.
    void OpenOrSay(const std::u16string& target, bool present) const;

    // Pages: every change of page goes through SetActivePage, which runs the
    // page's show handler.
    void SetActivePage(int index);
    // Next, or Finish on the pages where it stands in Next's place.
    QPushButton& DefaultButton() const;
    // The page's first tab stop, else the default button, takes the focus.
    void FocusFirstControl(QWidget& page);
    void RunShowHandler(int index);
    void ShowBarLabel(int index);
    void ShowPageNumber(int number);
    void SetButtonsEnabled(bool enabled);
    void tabMainShow();
    void tabBackup1Show();
    void tabBackup2Show();
    void tabBackup3Show();
    void tabBackup4Show();
    void tabRestore1Show();
    void tabRestore2Show();
    void tabRestore3Show();
    void tabRestore4Show();
    void tabRestore5Show();

    // Next on each page; false when the page stays.
    bool NextFromMain();
    bool NextFromBackup1();
    bool NextFromBackup2();
    bool NextFromBackup3();
    bool NextFromRestore1();
    bool NextFromRestore2();
    void NextFromRestore3();
    void NextFromRestore4();
    // Asks "restorebegin" and runs the restore from restore page 3 or 4.
    void RunRestoreFrom(int page);
    // The open-file dialog for a backup file, starting in BackupFileName's folder.
    bool ChooseBackupFile(std::u16string& fileName);

    // Trees.
    void ReloadXml(TPropertyPane& pane);
    int SelectedSiteCount(TCheckTreeWidget& tree);

    // Runs and command line.
    bool BackupExecute();
    void RestoreExecute();
    void InitFromCommandLine();
    // Tells the user when $ORVEX_MACHINES names no usable folder.
    void ReportUnusableMachinesFolder();
    // The backup of the command-line mode: BackupExecute after the name's check;
    // false when it did not run clean.
    bool RunCommandLineBackup();

    // Writes one key of "config.ini"; a failure is logged, never raised.
    void WriteSetting(std::u16string_view key, std::u16string_view value);

    // Runs a handler: refused while busy (unless allowWhileBusy), and an exception
    // is shown with the dialog front end and the buttons' states are put back.
    void Guarded(const std::function<void()>& handler, bool allowWhileBusy = false);
    // Marks the window busy for its lifetime.
    class TBusyScope {
    public:
        explicit TBusyScope(TMainForm& form) : FForm(form), FWasBusy(form.FBusy) { form.FBusy = true; }
        ~TBusyScope() { FForm.FBusy = FWasBusy; }
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TMainForm& FForm;
        bool FWasBusy;
    };

    std::unique_ptr<Ui::MainForm> ui;
    // Backup page 4 and restore page 2.
    std::unique_ptr<TPropertyPane> FBackupPane;
    std::unique_ptr<TPropertyPane> FRestorePane;
    TWizardHost FHost{*this};
    std::unique_ptr<TEngineHostScope> FHostScope;
    bool FBusy = false;
    int FExitStatus = 0;

    bool Restoreskip4flag = false;
    std::u16string FBackupMachineName;
    std::u16string BackupMetaFileName;
    std::u16string BackupName;
    std::u16string RestoreIisVersion;
    std::u16string RestoreMachineName;
    std::u16string RestoreMetaFileName;
    std::u16string userlingvo;
    std::vector<std::u16string> FLingvoList;
    std::u16string FKeywordCancel;
    std::u16string FKeywordDialogYesNoLastLine;
    std::unique_ptr<TErrorSound> FMetalClangAudio;
    QTimer* FTimer1 = nullptr;
    // Set by the command-line timer's first tick: a later activation runs no second backup.
    bool FCommandLineDone = false;
    std::unique_ptr<TVeldarXmlDoc> ZDoc;
};

// The user manual that the build puts beside the executable.
inline constexpr std::u16string_view kShippedManualFileName = u"Orvex_Manual.html";

// Node keys join a backup name to the paths below it with "/" and "@@", so a name
// holding either cannot be used; nor can a blank one.
bool IsUsableBackupName(std::u16string_view name);
// Why IsUsableBackupName refused name, in the form's language.
std::u16string UnusableBackupNameText(const TMainForm& form, std::u16string_view name);

// The program's windows in start-up order: the main window, then the check-IP and
// check-path dialogs (hidden). The caller owns the main window; the dialogs are
// its children.
std::unique_ptr<TMainForm> CreateProgramWindows();

} // namespace orvex
