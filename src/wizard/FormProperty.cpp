#include "wizard/FormProperty.h"

#include "base/AsciiText.h"
#include "engine/PropertyText.h"
#include "support/GuiText.h"
#include "support/gui/GuiTextTranslators.h"
#include "ui_FormProperty.h"
#include "wizard/HandlerGuard.h"
#include "wizard/MainForm.h"

namespace orvex {

namespace {

QString Q(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

// The restore writes an INTEGER only from these texts.
bool IsIntegerText(std::u16string_view text) {
    try {
        TextToInteger(text);
        return true;
    } catch (const EPropertyValueError&) {
        return false;
    }
}

} // namespace

bool IsSupportedPropertyType(std::u16string_view typeName) { return CanonicalPropertyType(typeName).has_value(); }

std::optional<std::u16string> CanonicalPropertyType(std::u16string_view typeName) {
    for (std::u16string_view type : kEditablePropertyTypes)
        if (SameAsciiText(typeName, type))
            return std::u16string(type);
    return std::nullopt;
}

TFormProperty::TFormProperty(TMainForm& mainForm, std::u16string_view openMode)
    : QDialog(&mainForm), OpenMode(openMode), FMainForm(mainForm), ui(std::make_unique<Ui::FormProperty>()) {
    ui->setupUi(this);
    TVeldarXmlDoc& catalogue = *mainForm.Catalogue();
    TranslateControls(u"Restore", catalogue, mainForm.Getlingvo(), this, u"", u"Caption");
    setWindowTitle(Q(GetKeywordText(catalogue, mainForm.Getlingvo(), u"FormProperty")));
    ui->Cancel->setText(Q(mainForm.KeywordCancel()));
    // Fixed before the window exists, for its texts: the platform is not asked to
    // resize it later.
    setFixedSize(sizeHint());
}

TFormProperty::~TFormProperty() = default;

bool TFormProperty::IsAdd() const { return SameAsciiText(OpenMode, u"Add"); }

void TFormProperty::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler([this] { FormShow(); });
}

void TFormProperty::FormShow() {
    ui->cbType->clear();
    for (std::u16string_view type : kEditablePropertyTypes)
        ui->cbType->addItem(Q(type));
    const bool add = IsAdd();
    ui->editProperty->setEnabled(add);
    ui->cbType->setEnabled(add);
    ui->editValue->setEnabled(true);
    ui->editProperty->setText(add ? QString() : Q(PropertyName));
    ui->cbType->setCurrentIndex(-1);
    ui->cbType->setEditText(add ? QString() : Q(PropertyType));
    ui->editValue->setText(add ? QString() : Q(PropertyValue));
}

void TFormProperty::OkClick() {
    RunHandler([this] {
        const QString id = ui->editProperty->text().trimmed();
        const QString typed = ui->cbType->currentText().trimmed();
        QString value = ui->editValue->text().trimmed();
        ui->editProperty->setText(id);
        ui->cbType->setEditText(typed);
        ui->editValue->setText(value);
        if (id.isEmpty()) {
            FMainForm.NoiseForError();
            ui->editProperty->setFocus();
            return;
        }
        // The restore reads a type only in its stored spelling.
        const std::optional<std::u16string> type = CanonicalPropertyType(typed.toStdU16String());
        if (!type)
            return Warn(u"propertyvalidtype", ui->cbType);
        if (*type == u"INTEGER" && !IsIntegerText(value.toStdU16String()))
            return Warn(u"propertyvalidinteger", ui->editValue);
        if (*type == u"BOOLEAN") {
            if (!SameAsciiText(value.toStdU16String(), u"True") && !SameAsciiText(value.toStdU16String(), u"False"))
                return Warn(u"propertyvalidboolean", ui->editValue);
            value = Q(BoolToText(IsTrueText(value.toStdU16String())));
            ui->editValue->setText(value);
        }
        PropertyName = id.toStdU16String();
        PropertyType = *type;
        PropertyValue = value.toStdU16String();
        accept();
    });
}

void TFormProperty::CancelClick() { reject(); }

void TFormProperty::Warn(std::u16string_view id, QWidget* focus) {
    ShowCatalogueDialog(*FMainForm.Catalogue(), FMainForm.Getlingvo(), u"MsgWarningOk", id);
    focus->setFocus();
}

} // namespace orvex
