#pragma once
// The about box: the program's title with its full version, the command-line
// usage in the user's language and a notice line. Made, shown and freed on each
// Help > About.

#include <QDialog>

#include <memory>

#include "keyedconfig/VeldarXmlDoc.h"

namespace Ui {
class FormAboutProduct;
}

namespace orvex {

class TFormAboutProduct : public QDialog {
    Q_OBJECT
public:
    // Texts from catalogue in lingvo; without a catalogue the title, the close
    // button and the memo keep their form texts.
    TFormAboutProduct(QWidget* parent, TVeldarXmlDoc* catalogue, std::u16string_view lingvo);
    ~TFormAboutProduct() override;

private:
    void FillTexts(TVeldarXmlDoc* catalogue, std::u16string_view lingvo);

    std::unique_ptr<Ui::FormAboutProduct> ui;
};

// The program's title around the catalogue's keywords "Backup", "and", "Restore"
// in lingvo: "Orvex IIS Backup and Restore".
std::u16string ProgramTitle(TVeldarXmlDoc& catalogue, std::u16string_view lingvo);

} // namespace orvex
