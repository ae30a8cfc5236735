// A panel used as a button: a raised, coloured panel with a caption that
// reports a click (press and release inside it). Its colour is part of what
// it tells the operator (START aqua, STOP yellow), so it is a plain panel
// rather than a styled push button.
#pragma once

#include <QColor>
#include <QLabel>

namespace voxa {

class ClickPanel : public QLabel {
  Q_OBJECT

 public:
  ClickPanel(const QString& caption, QWidget* parent);

  void SetColour(const QColor& colour);
  QColor Colour() const { return colour_; }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // The second press of a double click is not a click: a double click on
  // START must not stop the run it has just started.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QColor colour_;
  bool pressed_ = false;
};

}  // namespace voxa
