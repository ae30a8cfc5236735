// The boot-messages window: lists the device's boot messages and the items
// of its header as they arrive. The program only ever appends to it.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace voxa {

class BootWindow : public QWidget {
  Q_OBJECT

 public:
  explicit BootWindow(QWidget* parent = nullptr);

  void AppendLine(const QString& line);
  // Window size in the classic convention (frame included, see window_geometry.h).
  void SetFormHeight(int height);
  int FormHeight() const;
  void SetMemoHeight(int height);
  QPlainTextEdit* BootMemo() const { return bootMemo_; }

 private:
  QPlainTextEdit* bootMemo_;
};

}  // namespace voxa
