#pragma once
// The property dialog: takes the id, type and value of one property of a tree
// node for the main window's add and edit actions, and refuses what the restore
// could not write. Made, shown modally and freed for each use.

#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Ui {
class FormProperty;
}

namespace orvex {

class TMainForm;

// The types a property can be given or edited with, in the order offered.
inline constexpr std::u16string_view kEditablePropertyTypes[] = {u"STRING", u"INTEGER", u"BOOLEAN"};

// True when typeName is one of the editable types, ignoring ASCII case.
bool IsSupportedPropertyType(std::u16string_view typeName);
// The editable type typeName names in its stored spelling ("integer" gives
// "INTEGER"); nullopt for another type.
std::optional<std::u16string> CanonicalPropertyType(std::u16string_view typeName);

class TFormProperty : public QDialog {
    Q_OBJECT
public:
    // openMode "Add" (any case) or "Edit"; texts from the main window's catalogue,
    // the Cancel button from its keyword.
    TFormProperty(TMainForm& mainForm, std::u16string_view openMode);
    ~TFormProperty() override;

    // Set before showing; read after an accepted dialog. The type is then the
    // stored spelling, a Boolean value "True" or "False".
    std::u16string OpenMode;
    std::u16string PropertyName;
    std::u16string PropertyType;
    std::u16string PropertyValue;

public slots:
    void OkClick();
    void CancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    bool IsAdd() const;
    // Shows the catalogue's warning id; focus then takes the input again.
    void Warn(std::u16string_view id, QWidget* focus);

    TMainForm& FMainForm;
    std::unique_ptr<Ui::FormProperty> ui;
};

} // namespace orvex
