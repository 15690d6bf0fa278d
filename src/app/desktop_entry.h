#pragma once
// The program's entry in the user's application menu: a freedesktop desktop entry that lets file
// managers offer "Open With Tessane" for images, the way a "Send To" shortcut would elsewhere.

#include <string>

namespace tessane {

/// $XDG_DATA_HOME/applications/Tessane.desktop; ~/.local/share is used when XDG_DATA_HOME is
/// unset, empty or relative.
std::string SendToLinkPath();

/// True when a file exists at SendToLinkPath().
bool SendToLinkExists();

/// Writes the entry (atomically, replacing an existing one) with Exec=<programPath> %F and the
/// image MIME types of the registered formats; creates the applications folder when missing.
/// A relative programPath is made absolute. Failures are silent.
void CreateSendToLink(const std::string& programPath);

/// Deletes the entry when it exists; failures are silent.
void DeleteSendToLink();

/// The full text CreateSendToLink writes for programPath (already absolute).
std::string DesktopEntryText(const std::string& programPath);

/// "image/jpeg;image/bmp;...;": the MIME types of the extensions the format registry reads, each
/// once, in the registry's order, in the form of a MimeType= value.
std::string DesktopEntryMimeTypes();

}  // namespace tessane
