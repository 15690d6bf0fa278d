#include "app/folder_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QStorageInfo>
#include <QTreeView>

#include <filesystem>

#include "app/dialog_fit.h"
#include "base/errors.h"
#include "base/paths.h"

namespace tessane {

FolderDialog::FolderDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Select Directory"));
  setModal(true);

  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("DirectoryName"));

  folderModel_ = new QFileSystemModel(this);
  folderModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  folderModel_->setRootPath(QStringLiteral("/"));
  folders_ = new QTreeView(this);
  folders_->setModel(folderModel_);
  for (int column = 1; column < folderModel_->columnCount(); ++column) folders_->hideColumn(column);
  folders_->setHeaderHidden(true);

  fileModel_ = new QFileSystemModel(this);
  fileModel_->setFilter(QDir::Files | QDir::Hidden);
  files_ = new QListView(this);
  files_->setModel(fileModel_);
  files_->setSelectionMode(QAbstractItemView::NoSelection);

  drives_ = new QComboBox(this);
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) drives_->addItem(volume.rootPath());

  auto* nameLabel = new QLabel(QStringLiteral("Directory &Name:"), this);
  nameLabel->setBuddy(name_);
  auto* foldersLabel = new QLabel(QStringLiteral("&Directories:"), this);
  foldersLabel->setBuddy(folders_);
  auto* filesLabel = new QLabel(QStringLiteral("&Files: (*.*)"), this);
  filesLabel->setBuddy(files_);
  auto* drivesLabel = new QLabel(QStringLiteral("D&rives:"), this);
  drivesLabel->setBuddy(drives_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(nameLabel, 0, 0, 1, 2);
  grid->addWidget(name_, 1, 0, 1, 2);
  grid->addWidget(foldersLabel, 2, 0);
  grid->addWidget(filesLabel, 2, 1);
  grid->addWidget(folders_, 3, 0);
  grid->addWidget(files_, 3, 1);
  grid->addWidget(drivesLabel, 4, 0);
  grid->addWidget(drives_, 5, 0);
  grid->addWidget(buttons, 5, 1);
  setSizeGripEnabled(true);
  resize(460, 380);

  connect(buttons, &QDialogButtonBox::accepted, this, &FolderDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FolderDialog::reject);
  connect(folders_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) setDirectory(folderModel_->filePath(current));
          });
  connect(drives_, &QComboBox::activated, this,
          [this](int index) { setDirectory(drives_->itemText(index)); });
}

QString FolderDialog::directory() const {
  return name_->text();
}

void FolderDialog::setDirectory(const QString& folder) {
  if (name_->text() != folder) name_->setText(folder);
  const QModelIndex index = folderModel_->index(folder);
  if (index.isValid() && folders_->currentIndex() != index) {
    folders_->setCurrentIndex(index);
    folders_->scrollTo(index);
  }
  files_->setRootIndex(fileModel_->setRootPath(folder));
}

void FolderDialog::accept() {
  if (!DirectoryExists(QFile::encodeName(directory()).toStdString()) && !confirmCreate(this))
    return;
  QDialog::accept();
}

bool FolderDialog::confirmCreate(QWidget* parent) {
  return QMessageBox::question(parent, QStringLiteral("Confirm"),
                               QStringLiteral("The specified directory does not exist. Create it?"),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool FolderDialog::chooseFolder(const QString& start) {
  setDirectory(start);
  FitDialogToScreen(this);
  if (exec() != QDialog::Accepted) return false;
  const std::string folder = QFile::encodeName(directory()).toStdString();
  if (folder.empty()) throw FileSystemError("Unable to create directory");
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return true;
}

}  // namespace tessane
