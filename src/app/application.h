#pragma once
// The application object: routes every error that escapes an event handler to the window's
// error hook, and shows the program's error box.

#include <QApplication>
#include <QIcon>
#include <QString>

#include <exception>
#include <functional>

namespace tessane {

/// The application title: the caption of every error box.
inline constexpr const char* kApplicationTitle = "Tessane";

/// A QApplication whose event delivery catches errors: an error escaping any handler goes to the
/// installed error hook, or straight to the error box while none is installed. The handler that
/// failed is abandoned and the program goes on.
class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  /// Installs the hook (owner identifies it for ClearErrorHook).
  void setErrorHook(const void* owner, std::function<void(const std::exception&)> hook);
  /// Removes the hook when `owner` installed it.
  void clearErrorHook(const void* owner);
  /// Hands the error to the hook (or shows it); never throws.
  void handleException(const std::exception& error) noexcept;

 private:
  const void* hookOwner_ = nullptr;
  std::function<void(const std::exception&)> hook_;
};

/// The running Application, or nullptr when the application object is another kind.
Application* App();

/// The error box's text: the message with "." appended when it is not empty and its last
/// character sorts after ".".
QString ErrorBoxText(const QString& message);

/// The program's icon: the desktop theme's "tessane" when it has one, else the built-in picture.
QIcon ApplicationIcon();

/// The modal error box: error icon, one OK button, captioned with the application title.
void ShowErrorBox(const QString& message);

/// Runs `action`; an error it raises is shown in the error box (for code that runs outside event
/// delivery, such as the idle step).
void GuardedCall(const std::function<void()>& action) noexcept;

}  // namespace tessane
