#include "wizard/MainForm.h"

#include "base/Module.h"
#include "base/TextFormat.h"
#include "engine/EngineState.h"
#include "engine/ProgressLog.h"
#include "engine/SupportedProperties.h"
#include "support/CmdLineSwitch.h"
#include "support/Dialogs.h"
#include "support/GuiText.h"
#include "support/VersionInfo.h"
#include "ui_MainForm.h"
#include "wizard/ColumnFit.h"
#include "wizard/ErrorSound.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"
#include "wizard/HandlerGuard.h"
#include "wizard/PropertyPane.h"
#include "wizard/WizardSettings.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTabBar>
#include <QTimer>

// The resource initialiser lives outside any namespace.
static void InitWizardResources() { Q_INIT_RESOURCE(orvex); }

namespace orvex {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainForm>()) {
    InitWizardResources();
    ui->setupUi(this);
    FBackupPane = std::make_unique<TPropertyPane>(*this, *ui->tvBackup, *ui->lvProperty);
    FRestorePane = std::make_unique<TPropertyPane>(*this, *ui->tvRestore, *ui->lvPropertyR);
    // Fixed before the window exists: the platform is not asked to resize it later.
    setFixedSize(sizeHint());
    for (QTableWidget* list : {ui->lvProperty, ui->lvPropertyR}) {
        FitColumnsToContents(*list);
        list->setTabKeyNavigation(false);
    }
    // Only the buttons move between pages: the page control is no tab stop.
    ui->pageControlPanel->setFocusPolicy(Qt::NoFocus);
    ui->pageControlPanel->tabBar()->setFocusPolicy(Qt::NoFocus);
    FHostScope = std::make_unique<TEngineHostScope>(&FHost, &FHost);
    FMetalClangAudio = std::make_unique<TErrorSound>(ExecutableFolder() + u"MetalClang.wav");
    FormCreate();
}

TMainForm::~TMainForm() {
    // The children outlive this part of the object: none may reach a slot now.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    FMetalClangAudio->RemoveFile();
    FHostScope.reset();
}

TLogView& TMainForm::LogView() const { return *ui->rtLog; }

std::u16string TMainForm::MessageText(std::u16string_view type, std::u16string_view id,
                                     std::initializer_list<TFormatValue> values) const {
    return FormatTolerant(GetDialogText(*ZDoc, Getlingvo(), type, id), values);
}

void TMainForm::ShowMessageText(std::u16string_view type, std::u16string_view id,
                                std::initializer_list<TFormatValue> values) const {
    ShowCatalogueDialog(*ZDoc, Getlingvo(), type, id, values);
}

std::u16string TMainForm::Getlingvo() const { return userlingvo.empty() ? u"eng" : userlingvo; }

int TMainForm::ActivePage() const { return ui->pageControlPanel->currentIndex(); }

void TMainForm::FormCreate() {
    setWindowTitle(windowTitle() + QStringLiteral(" ") + QString::fromStdU16String(GetVersionString(false)));
    userlingvo = u"eng";
    ui->CboxLingvo->clear();
    ui->rbBackup->setChecked(true);
    ReadSettings();
    if (const std::u16string failure = InitSupportedPropertyTable(); !failure.empty())
        ShowError(failure);
    InitLog();
    ReloadForm();
    ReportUnusableMachinesFolder();
    SetSiteConflictMode(scmUnset);
    FTimer1 = new QTimer(this);
    FTimer1->setObjectName(QStringLiteral("Timer1"));
    FTimer1->setInterval(500);
    connect(FTimer1, &QTimer::timeout, this, &TMainForm::CommandLineTimer);
}

void TMainForm::ReadSettings() {
    const TWizardSettings settings = ReadWizardSettings(ExecutableFolder());
    BackupMetaFileName = settings.BackupMetaFileName;
    RestoreMetaFileName = settings.RestoreMetaFileName;
}

void TMainForm::WriteSetting(std::u16string_view key, std::u16string_view value) {
    if (!WriteWizardSetting(ExecutableFolder(), key, value))
        LogLine(MessageText(u"MsgErrorOk", u"settingnotkept", {SettingsFileName(ExecutableFolder()), key}), clLogRed);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); }, true);
}

void TMainForm::FormShow() {
    ui->pageControlPanel->tabBar()->hide();
    SetActivePage(wpMain);
    ui->btnCancel->setEnabled(true);
    ui->btnfinish->hide();
    ui->btnnext->show();
    Restoreskip4flag = false;
    InitFromCommandLine();
    // The command-line backup starts here too: activation may never come on a
    // display without a window manager, where another program's window can take
    // the focus first.
    if (FTimer1 && HasCmdLineSwitch(u"/backup"))
        FTimer1->start();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the default button, as in every wizard.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton& button = DefaultButton();
        if (button.isVisible() && button.isEnabled()) {
            button.click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Guarded([this] { FormActivate(); }, true);
    return QMainWindow::event(event);
}

void TMainForm::FormActivate() {
    if (!FTimer1)
        return;
    if (HasCmdLineSwitch(u"/backup")) {
        FTimer1->start();
    } else {
        delete FTimer1;
        FTimer1 = nullptr;
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (FBusy)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void TMainForm::NoiseForError() {
    if (const std::u16string failure = FMetalClangAudio->Play(); !failure.empty())
        LogLine(failure, clLogRed);
}

void TMainForm::btnCancelClick() {
    Guarded([this] { close(); });
}

void TMainForm::btnfinishClick() {
    Guarded([this] { close(); });
}

void TMainForm::Guarded(const std::function<void()>& handler, bool allowWhileBusy) {
    if (FBusy && !allowWhileBusy)
        return;
    QPushButton* buttons[] = {ui->btnback, ui->btnnext, ui->btnCancel};
    bool enabled[std::size(buttons)];
    for (size_t i = 0; i < std::size(buttons); ++i)
        enabled[i] = buttons[i]->isEnabled();
    if (RunHandler(handler))
        return;
    for (size_t i = 0; i < std::size(buttons); ++i)
        buttons[i]->setEnabled(enabled[i]);
}

std::unique_ptr<TMainForm> CreateProgramWindows() {
    auto form = std::make_unique<TMainForm>();
    FormCheckIP = new TFormCheckIP(*form);
    FormCheckPath = new TFormCheckPath(*form);
    return form;
}

} // namespace orvex
