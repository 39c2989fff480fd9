#pragma once
// The in-application help viewer. Help pages are HTML files named after the help
// context number ("262414.html"); the module registers the folders that hold them
// (usually a folder of its Qt resources) and every dialog's Help opens its page.

#include <QString>
#include <QStringList>

class QWidget;

namespace axis {

/// Adds a folder (a resource path such as ":/orvex/help" or a file system folder)
/// searched for help pages; the folders registered last are searched first.
void RegisterHelpFolder(const QString& folder);
void UnregisterHelpFolder(const QString& folder);
QStringList HelpFolders();

/// The page for `context`, empty when no registered folder has one.
QString FindHelpPage(int context);

/// Opens the help viewer (one window, kept open beside the dialogs) at the page of
/// `context`; without a page it says that there is none. Returns the page shown.
QString ShowHelp(int context, QWidget* parent);

/// The viewer window when it exists (for tests and pictures), else null.
QWidget* HelpViewerWindow();

}  // namespace axis
