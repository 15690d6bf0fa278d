#pragma once
// The folder chooser: a name field that follows the folder tree and can be edited, the selected
// folder's files, a list of mounted volumes, OK and Cancel. A folder that does not exist is
// created (with its missing parents) after the user agrees.

#include <QDialog>
#include <QString>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QListView;
class QTreeView;

namespace tessane {

class FolderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FolderDialog(QWidget* parent = nullptr);

  /// Shows the chooser on `start`. On OK returns true with the chosen folder in directory(),
  /// created when missing (a failure to create it is silent); an empty name raises FileSystemError
  /// "Unable to create directory".
  bool chooseFolder(const QString& start);
  QString directory() const;
  void setDirectory(const QString& folder);

  QLineEdit* nameEdit() const { return name_; }

  /// "The specified directory does not exist. Create it?" with Yes and No; true for Yes.
  static bool confirmCreate(QWidget* parent);

 public slots:
  /// OK: a folder that does not exist needs the user's consent, otherwise the chooser stays.
  void accept() override;

 private:
  QLineEdit* name_;
  QTreeView* folders_;
  QListView* files_;
  QComboBox* drives_;
  QFileSystemModel* folderModel_;
  QFileSystemModel* fileModel_;
};

}  // namespace tessane
