// A panel used as a button.
#include "app/click_panel.h"

#include <QEvent>
#include <QMouseEvent>

#include "app/window_style.h"

namespace voxa {

ClickPanel::ClickPanel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAlignment(Qt::AlignCenter);
  setTextFormat(Qt::PlainText);
  SetColour(StandardColour());
}

void ClickPanel::SetColour(const QColor& colour) {
  colour_ = colour;
  PaintBackground(*this, colour);
}

void ClickPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && isEnabled()) {
    pressed_ = true;
    setFrameShadow(QFrame::Sunken);
  }
  event->accept();
}

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) {
    event->accept();
    return;
  }
  pressed_ = false;
  setFrameShadow(QFrame::Raised);
  event->accept();
  if (isEnabled() && rect().contains(event->position().toPoint())) emit clicked();
}

void ClickPanel::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void ClickPanel::changeEvent(QEvent* event) {
  // A panel disabled while pressed must not click when it is enabled again.
  if (event->type() == QEvent::EnabledChange && !isEnabled()) {
    pressed_ = false;
    setFrameShadow(QFrame::Raised);
  }
  QLabel::changeEvent(event);
}

}  // namespace voxa
