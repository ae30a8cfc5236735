// Colours and fonts of the monitor's windows. The layout was drawn for
// "MS Sans Serif", "Tahoma" and "Courier New"; where those are missing the
// nearest metric-compatible faces stand in, so captions fit their controls.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "pipeline/host.h"

class QWidget;

namespace voxa {

inline const QColor kYellowColour{255, 255, 0};
inline const QColor kAquaColour{0, 255, 255};
inline const QColor kSilverColour{192, 192, 192};
inline const QColor kLimeColour{0, 255, 0};
inline const QColor kRedColour{255, 0, 0};
inline const QColor kZoomOrange{255, 128, 64};
inline const QColor kAmplitudeOrange{255, 128, 0};

// Registers the stand-in faces; call once after the application object exists.
void InstallFontFallbacks();

QFont FormFont(int pixelSize, bool bold);
QFont StatusFont();
QFont MemoFont();

// The system's button face, the "standard" colour of panels and the status bar.
QColor StandardColour();
QColor ColourOf(StatusColour colour);

// Gives a widget a filled background of the colour; Standard restores the
// palette's own.
void PaintBackground(QWidget& widget, const QColor& colour);

}  // namespace voxa
