#pragma once
// Helpers for the window tests: answering modal boxes and dialogs, pumping queued work.

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << '{';
  for (const QString& text : list) *os << " \"" << text.toStdString() << '"';
  *os << " }";
}

namespace tessane::test {

/// Answers the modal windows that open while it exists, in order, with the queued actions, and
/// records each one's caption and text (message boxes only have a text).
class ModalWatcher : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalWatcher();
  ~ModalWatcher();

  void Then(Action action) { actions_.push_back(std::move(action)); }
  /// A message box answered with `button`.
  void ThenPress(QMessageBox::StandardButton button);

  struct Seen {
    QString title;
    QString text;
  };
  const std::vector<Seen>& SeenWindows() const { return seen_; }
  QStringList Texts() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Poll();

  QTimer timer_;
  std::deque<Action> actions_;
  std::vector<Seen> seen_;
};

/// Processes events and runs queued work until every started job has ended. False if that does
/// not happen within a generous deadline (a hang guard, not a speed check).
bool DrainJobs();

/// Processes events until `done` holds (same guard).
bool ProcessUntil(const std::function<bool()>& done);

}  // namespace tessane::test
