// Colours and fonts of the monitor's windows. The layout was drawn for
// "MS Sans Serif", "Tahoma" and "Courier New"; where those are missing the
// nearest metric-compatible faces stand in, so captions fit their controls.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "stream/host.h"

class QWidget;

namespace voxa {

inline const QColor kYellowColour{255, 255, 0};
inline const QColor kAquaColour{0, 255, 255};
inline const QColor kSilverColour{192, 192, 192};
inline const QColor kLimeColour{0, 255, 0};
inline const QColor kRedColour{255, 0, 0};
inline const QColor kZoomOrange{255, 128, 64};
inline const QColor kAmplitudeOrange{255, 128, 0};

// Sizes of the windows follow the classic desktop convention the layout was
// designed with: they include a 4-pixel border on every side and a 23-pixel
// caption. The client area is that much smaller, whatever frame the window
// manager then draws around it.
inline constexpr int kFrameWidth = 8;
inline constexpr int kFrameHeight = 31;

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
