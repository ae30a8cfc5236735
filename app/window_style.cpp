// Colours and fonts of the monitor's windows.
#include "app/window_style.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace voxa {

void InstallFontFallbacks() {
  QFont::insertSubstitutions("MS Sans Serif",
                             {"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Verdana", "Liberation Sans", "Nimbus Sans"});
  QFont::insertSubstitutions("Courier New", {"Liberation Mono", "Cousine", "Nimbus Mono PS", "DejaVu Sans Mono"});
}

QFont FormFont(int pixelSize, bool bold) {
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QFont StatusFont() {
  QFont font("Tahoma");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(16);
  font.setBold(true);
  return font;
}

QFont MemoFont() {
  QFont font("Courier New");
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(12);
  font.setBold(true);
  return font;
}

QColor StandardColour() { return QApplication::palette().color(QPalette::Button); }

QColor ColourOf(StatusColour colour) {
  switch (colour) {
    case StatusColour::Yellow: return kYellowColour;
    case StatusColour::Aqua: return kAquaColour;
    case StatusColour::Silver: return kSilverColour;
    case StatusColour::Lime: return kLimeColour;
    case StatusColour::Red: return kRedColour;
    case StatusColour::Standard: break;
  }
  return StandardColour();
}

void PaintBackground(QWidget& widget, const QColor& colour) {
  // Only the role the widget fills its background with (Window for panels
  // and labels, Button for check boxes): a style may derive other details,
  // such as a check box's outline, from the Window colour.
  QPalette palette = widget.palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, widget.backgroundRole(), colour);
  }
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

}  // namespace voxa
