#include "app/application.h"

#include <QMessageBox>

namespace tessane {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    HandleException(error);
  } catch (...) {
    HandleException(std::runtime_error("Unknown error"));
  }
  return false;
}

void TApplication::SetErrorHook(const void* owner,
                                std::function<void(const std::exception&)> hook) {
  hookOwner_ = owner;
  hook_ = std::move(hook);
}

void TApplication::ClearErrorHook(const void* owner) {
  if (hookOwner_ != owner) return;
  hookOwner_ = nullptr;
  hook_ = nullptr;
}

void TApplication::HandleException(const std::exception& error) noexcept {
  try {
    if (hook_) {
      hook_(error);
      return;
    }
    ShowErrorBox(QString::fromUtf8(error.what()));
  } catch (const std::exception& nested) {
    // The hook itself failed: still tell the user, never let it unwind through Qt.
    try {
      ShowErrorBox(QString::fromUtf8(nested.what()));
    } catch (...) {
    }
  } catch (...) {
  }
}

TApplication* App() {
  return qobject_cast<TApplication*>(QCoreApplication::instance());
}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + u'.';
  return message;
}

QIcon ApplicationIcon() {
  return QIcon::fromTheme(QStringLiteral("tessane"), QIcon(QStringLiteral(":/icons/tessane.svg")));
}

void ShowErrorBox(const QString& message) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                  ErrorBoxText(message), QMessageBox::Ok);
  box.exec();
}

void GuardedCall(const std::function<void()>& action) noexcept {
  try {
    action();
  } catch (const std::exception& error) {
    if (TApplication* app = App()) {
      app->HandleException(error);
    } else {
      try {
        ShowErrorBox(QString::fromUtf8(error.what()));
      } catch (...) {
      }
    }
  } catch (...) {
  }
}

}  // namespace tessane
