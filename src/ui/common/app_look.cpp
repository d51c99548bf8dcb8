#include "ui/common/app_look.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QTranslator>

namespace tavril {
namespace {

class CompactStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    // With the 4 pixels the style adds, the text sits 6 pixels from its mark,
    // as close as the dialog templates expect.
    if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing) return 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

void ApplyTavrilLook(QApplication& application) {
  QApplication::setStyle(new CompactStyle);  // the application owns it

  // Without the package of Qt's translations, Qt's texts stay in English.
  auto* translator = new QTranslator(&application);
  if (translator->load(QStringLiteral("qtbase_fr"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace tavril
