#include "app/application.h"

#include <QMessageBox>

namespace tessane {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    handleException(error);
  } catch (...) {
    handleException(std::runtime_error("Unknown error"));
  }
  return false;
}

void Application::setErrorHook(const void* owner, std::function<void(const std::exception&)> hook) {
  hookOwner_ = owner;
  hook_ = std::move(hook);
}

void Application::clearErrorHook(const void* owner) {
  if (hookOwner_ != owner) return;
  hookOwner_ = nullptr;
  hook_ = nullptr;
}

void Application::handleException(const std::exception& error) noexcept {
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

Application* App() {
  return qobject_cast<Application*>(QCoreApplication::instance());
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
    if (Application* app = App()) {
      app->handleException(error);
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
