// Message boxes: modal, answered by a user or by the answers a test scripted, and recorded.
#include "platform/gui.h"

#include "platform/gui_qt_internal.h"

namespace platform {

namespace {
// Room for the window manager's icon and buttons beside a title, pixels.
constexpr int kTitleBarExtras = 150;

// A window manager cuts a title wider than the box: the box is made wide enough for it,
// measured in a bold face of the box's font as title bars draw it.
void keepTitleWhole(QMessageBox& box) {
  QFont bold = box.font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}
}  // namespace

int Gui::messageBox(const std::string& title, const std::string& text, int kind,
                    const std::string& detail) {
  impl_->shown.push_back({title, text, kind, detail});
  if (impl_->boxWatcher) impl_->boxWatcher(title, text);
  if (!impl_->answers.empty()) {
    const int answer = impl_->answers.front();
    impl_->answers.pop_front();
    return answer;
  }

  const bool retryCancel = kind == kBoxWarningRetryCancel;
  const bool yesNo = kind == kBoxQuestionYesNo;
  QMessageBox box(retryCancel ? QMessageBox::Warning : yesNo ? QMessageBox::Question : QMessageBox::Critical, fromUtf8(title),
                  fromUtf8(text), QMessageBox::NoButton, impl_->boxOwner());
  // A box must not hide behind a window that stays above the others.
  if (impl_->anyOnTop()) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setInformativeText(fromUtf8(detail));
  keepTitleWhole(box);
  if (retryCancel) {
    QPushButton* retry = box.addButton(QMessageBox::Retry);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(retry);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == retry ? kAnswerRetry : kAnswerCancel;
  }
  if (yesNo) {
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(no);  // only a clear yes goes on
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
  }
  box.setEscapeButton(box.addButton(QMessageBox::Ok));
  box.exec();
  return kAnswerOk;
}

}  // namespace platform
