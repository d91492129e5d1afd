#include "wizard/FormAboutProduct.h"

#include "base/LocalClock.h"
#include "support/GuiText.h"
#include "support/VersionInfo.h"
#include "ui_FormAboutProduct.h"

namespace orvex {

namespace {

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

} // namespace

std::u16string ProgramTitle(TVeldarXmlDoc& catalogue, std::u16string_view lingvo) {
    return u"Orvex IIS " + GetKeywordText(catalogue, lingvo, u"Backup") + u" " +
           GetKeywordText(catalogue, lingvo, u"and") + u" " + GetKeywordText(catalogue, lingvo, u"Restore");
}

TFormAboutProduct::TFormAboutProduct(QWidget* parent, TVeldarXmlDoc* catalogue, std::u16string_view lingvo)
    : QDialog(parent), ui(std::make_unique<Ui::FormAboutProduct>()) {
    ui->setupUi(this);
    FillTexts(catalogue, lingvo);
    // Fixed at its designed size before the window exists: the platform is not
    // asked to resize it later, and the memo wraps its text to that width.
    setFixedSize(size());
}

TFormAboutProduct::~TFormAboutProduct() = default;

void TFormAboutProduct::FillTexts(TVeldarXmlDoc* catalogue, std::u16string_view lingvo) {
    setWindowTitle(QStringLiteral("About"));
    ui->LabelCopyright->setText(QStringLiteral("Copyright \u00A9 %1 the Orvex team").arg(LocalNow().year, 4, 10, QLatin1Char('0')));
    if (!catalogue)
        return;
    ui->LabelProduct->setText(Q(ProgramTitle(*catalogue, lingvo) + u"  v" + GetVersionString(false)));
    ui->BitBtnClose->setText(Q(GetKeywordText(*catalogue, lingvo, u"Close")));
    std::vector<std::u16string> substitutions;
    for (char16_t id = u'1'; id <= u'8'; ++id)
        substitutions.push_back(GetSubstitutionText(*catalogue, u"MemoAbout", std::u16string(1, id), lingvo));
    const std::vector<TFormatValue> values(substitutions.begin(), substitutions.end());
    std::u16string memo = FormatTolerant(LoadMemoLines(*catalogue, u"MemoAbout"), values);
    memo += u"\n\nOrvex is free to copy and to pass on, unchanged, with this notice.";
    ui->MemoAbout->setPlainText(Q(memo));
}

} // namespace orvex
