// The boot-messages window.
#include "app/boot_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include "app/window_geometry.h"
#include "app/window_style.h"

namespace voxa {

BootWindow::BootWindow(QWidget* parent)
    // A window without title-bar buttons: it is hidden only with the program.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("BootWindow");
  setWindowTitle(" Velmora Boot");
  setFont(FormFont(16, false));
  move(394, 108);
  resize(584 - kFrameWidth, 595 - kFrameHeight);

  bootMemo_ = new QPlainTextEdit(this);
  bootMemo_->setObjectName("BootMemo");
  bootMemo_->setGeometry(0, 0, 569, 561);
  bootMemo_->setFont(MemoFont());
  bootMemo_->setReadOnly(true);
  bootMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void BootWindow::AppendLine(const QString& line) { bootMemo_->appendPlainText(line); }

void BootWindow::SetFormHeight(int height) { resize(width(), height - kFrameHeight); }

int BootWindow::FormHeight() const { return height() + kFrameHeight; }

void BootWindow::SetMemoHeight(int height) { bootMemo_->resize(bootMemo_->width(), height); }

}  // namespace voxa
