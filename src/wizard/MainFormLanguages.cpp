// The main window's texts from the GUI-text catalogue, the two ways to change the
// language, and the Help, File and log menus.

#include "wizard/MainForm.h"

#include "base/ExceptionText.h"
#include "base/Module.h"
#include "base/TextFormat.h"
#include "support/GuiText.h"
#include "support/GuiTextCatalogue.h"
#include "support/Shell.h"
#include "support/StringUtils.h"
#include "support/VersionInfo.h"
#include "support/gui/GuiTextTranslators.h"
#include "ui_MainForm.h"
#include "wizard/FormAboutProduct.h"

#include <QFileInfo>
#include <QGroupBox>

namespace orvex {

namespace {

constexpr std::u16string_view kManualFileName = u"Tarnwell_Reference.pdf";
constexpr std::u16string_view kFeedbackAddress = u"https://orvex.example.org/feedback?lingvo=";
const QString kBackArrow = QStringLiteral("\u21E6 ");
const QString kNextArrow = QStringLiteral(" \u21E8");

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

// Group boxes and panels inside a page, at any depth: the catalogue may file
// their controls under the page.
QList<QWidget*> NestedContainers(QWidget* page) {
    QList<QWidget*> containers;
    for (QWidget* widget : page->findChildren<QWidget*>())
        if (qobject_cast<QGroupBox*>(widget) || widget->metaObject() == &QFrame::staticMetaObject)
            containers.append(widget);
    return containers;
}

} // namespace

void TMainForm::ReloadForm() {
    if (!ZDoc)
        ZDoc = NewGuiTextDocument();
    LoadCatalogue();
    TVeldarXmlDoc& doc = *ZDoc;

    const std::u16string yesNo = GetKeywordText(doc, userlingvo, u"DialogYesNo");
    FKeywordDialogYesNoLastLine = yesNo.empty() ? std::u16string() : u"\r\n\r\n" + yesNo;
    FKeywordCancel = GetKeywordText(doc, userlingvo, u"Cancel");
    ui->btnCancel->setText(Q(FKeywordCancel));

    if (ui->CboxLingvo->count() == 0)
        BuildLanguageMenu();

    TranslateMainMenu(doc, ui->MainMenu, userlingvo);

    for (QWidget* page : std::initializer_list<QWidget*>{ui->Panel2, ui->tabsheetMain, ui->tabsheetBackup1, ui->tabsheetBackup2,
                          ui->tabsheetBackup3, ui->tabsheetBackup4})
        TranslatePage(u"Backup", page, u"Caption");
    TranslateControls(u"Backup", doc, userlingvo, ui->PanelLabel, u"", u"Caption");
    TranslatePopupMenu(u"Backup", doc, ui->PopupBackup, userlingvo);

    for (QWidget* page : std::initializer_list<QWidget*>{ui->tabsheetRestore1, ui->tabsheetRestore2, ui->tabsheetRestore3})
        TranslatePage(u"Restore", page, u"Caption");
    for (std::u16string_view property : {u"Caption", u"Hint"})
        for (QWidget* group : std::initializer_list<QWidget*>{ui->gbWebsitesExist, ui->gbIpNotFound, ui->gbPathsValid})
            TranslateControls(u"Restore", doc, userlingvo, group, u"", property);
    for (QWidget* page : std::initializer_list<QWidget*>{ui->tabsheetRestore4, ui->tabsheetRestore5})
        TranslatePage(u"Restore", page, u"Caption");
    for (QMenu* popup : {ui->PopupRestore, ui->PopupLog, ui->PopupProperty})
        TranslatePopupMenu(u"Restore", doc, popup, userlingvo);

    const QString restore = Q(GetKeywordText(doc, userlingvo, u"Restore"));
    ui->rbIpNotFound2->setText(restore);
    ui->rbCheckPath3->setText(restore);

    setWindowTitle(Q(ProgramTitle(doc, userlingvo) + u" v" + GetVersionString(true)));
    SetArrowCaptions();
}

void TMainForm::LoadCatalogue() {
    try {
        LoadGuiTextCatalogue(*ZDoc);
    } catch (const std::exception& error) {
        // A broken replacement file must not keep the wizard from starting.
        LoadBuiltInGuiTextCatalogue(*ZDoc);
        ShowMessageText(u"MsgErrorOk", u"guitextunreadable",
                        {GuiTextFileName(ExecutableFolder()), ExceptionMessage(error)});
    }
}

void TMainForm::TranslatePage(std::u16string_view moduleId, QWidget* page, std::u16string_view propertyName) {
    TranslateControls(moduleId, *ZDoc, userlingvo, page, u"", propertyName);
    const std::u16string pageName = page->objectName().toStdU16String();
    for (QWidget* container : NestedContainers(page))
        for (std::u16string_view property : {propertyName, std::u16string_view(u"Hint")})
            TranslateControlsUnder(moduleId, *ZDoc, userlingvo, container, pageName, u"", property);
}

void TMainForm::SetArrowCaptions() {
    // A caption that the catalogue left alone still carries the last arrow.
    QString back = ui->btnback->text();
    if (back.startsWith(kBackArrow))
        back.remove(0, kBackArrow.size());
    ui->btnback->setText(kBackArrow + back);
    QString next = ui->btnnext->text();
    if (next.endsWith(kNextArrow))
        next.chop(kNextArrow.size());
    ui->btnnext->setText(next + kNextArrow);
}

void TMainForm::BuildLanguageMenu() {
    ListActiveLingvos(*ZDoc, FLingvoList);
    for (const std::u16string& line : FLingvoList) {
        const QString name = Q(RightOfEqual(line));
        ui->CboxLingvo->addItem(name);
        auto* item = new QAction(name, ui->miTolkara);
        item->setObjectName(QStringLiteral("miLingvo") + name);
        connect(item, &QAction::triggered, this, &TMainForm::miTolkaraClick);
        ui->miTolkara->addAction(item);
    }
    ui->CboxLingvo->setCurrentText(QStringLiteral("English"));
    ui->miHelp->removeAction(ui->miReleaseNotes);
    delete ui->miReleaseNotes;
    ui->miReleaseNotes = nullptr;
}

void TMainForm::miTolkaraClick() {
    Guarded([this] {
        const QObject* item = sender();
        if (!item)
            return;
        ui->CboxLingvo->setCurrentText(item->objectName().mid(8));
        const std::u16string name = ui->CboxLingvo->currentText().toStdU16String();
        for (const std::u16string& line : FLingvoList)
            if (RightOfEqual(line) == name) {
                userlingvo = LeftOfEqual(line);
                break;
            }
        ReloadForm();
    });
}

void TMainForm::CboxLingvoChange() {
    Guarded([this] {
        userlingvo = LingvoAbbrevOfName(ui->CboxLingvo->currentText().toStdU16String(), FLingvoList);
        ReloadForm();
    });
}

void TMainForm::btnaboutClick() {
    Guarded([this] {
        TFormAboutProduct about(this, ZDoc.get(), Getlingvo());
        about.exec();
    });
}

void TMainForm::OpenOrSay(const std::u16string& target, bool present) const {
    if (!present || !ShellOpen(target))
        ShowMessageText(u"MsgErrorOk", u"cannotopenmanual", {target});
}

void TMainForm::miFeedbackClick() {
    Guarded([this] { OpenOrSay(std::u16string(kFeedbackAddress) + u"eng", true); });
}

void TMainForm::actionManualExecute() {
    Guarded([this] {
        // The named manual when someone put it there, else the one the program ships.
        std::u16string manual = ExecutableFolder() + std::u16string(kManualFileName);
        if (!QFileInfo(Q(manual)).isFile())
            manual = ExecutableFolder() + std::u16string(kShippedManualFileName);
        OpenOrSay(manual, QFileInfo(Q(manual)).isFile());
    });
}

void TMainForm::actionReleaseNotesExecute() {}

void TMainForm::actionClearLogExecute() {
    Guarded([this] { ui->rtLog->clear(); });
}

void TMainForm::rtLogContextPopup(const QPoint& position) {
    Guarded([this, position] { ui->PopupLog->exec(ui->rtLog->viewport()->mapToGlobal(position)); });
}

} // namespace orvex
