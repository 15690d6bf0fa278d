#pragma once
// File dialogs sized for the screen they open on.

class QDialog;

namespace tessane {

/// Lets `dialog` be made as small as its screen's available area (long entries of its drop-down
/// lists, such as a filter naming every extension, no longer set its minimum width), keeps it
/// resizable, and sizes and centres it within that area.
void FitDialogToScreen(QDialog* dialog);

}  // namespace tessane
