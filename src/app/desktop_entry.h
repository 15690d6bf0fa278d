#pragma once
// The program's entry in the user's application menu: a freedesktop desktop entry that lets file
// managers offer "Open With Tessane" for images, the way a "Send To" shortcut would elsewhere.

#include <string>

namespace tessane {

/// The desktop id shared by the installed launcher and the per-user entry, so that the user's
/// entry takes the installed one's place in menus instead of standing beside it.
inline constexpr const char* kDesktopFileName = "tessane.desktop";

/// $XDG_DATA_HOME/applications/tessane.desktop; ~/.local/share is used when XDG_DATA_HOME is
/// unset, empty or relative.
std::string SendToLinkPath();

/// Where earlier versions wrote the per-user entry ($XDG_DATA_HOME/applications/Tessane.desktop).
std::string LegacySendToLinkPath();

/// True when a file exists at SendToLinkPath() or at LegacySendToLinkPath().
bool SendToLinkExists();

/// Writes the entry (atomically, replacing an existing one) with Exec=<programPath> %F and the
/// image MIME types of the registered formats; creates the applications folder when missing.
/// A relative programPath is made absolute. Once written, an entry at the legacy path is
/// deleted. Failures are silent.
void CreateSendToLink(const std::string& programPath);

/// Deletes the entry (and one at the legacy path) when it exists; failures are silent.
void DeleteSendToLink();

/// The full text CreateSendToLink writes for programPath (already absolute).
std::string DesktopEntryText(const std::string& programPath);

/// The installed launcher's text: Exec=tessane %F, the program being found on PATH.
std::string InstalledDesktopEntryText();

/// "image/jpeg;image/bmp;...;": the MIME types of the extensions the format registry reads, each
/// once, in the registry's order, in the form of a MimeType= value.
std::string DesktopEntryMimeTypes();

}  // namespace tessane
