#include "host/ui/help_viewer.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace axis {
namespace {

QStringList& Folders() {
    static QStringList folders;
    return folders;
}

class HelpViewer : public QDialog {
public:
    explicit HelpViewer(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
        setObjectName(QStringLiteral("helpViewer"));
        setWindowTitle(tr("Help"));
        browser_->setObjectName(QStringLiteral("helpBrowser"));
        browser_->setOpenLinks(true);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser_);
        resize(560, 480);
    }

    void Show(int context, const QString& page) {
        if (page.isEmpty()) {
            browser_->setSearchPaths({});
            browser_->setHtml(tr("<h3>Help</h3><p>There is no help page for context %1.</p>")
                                  .arg(context));
        } else {
            browser_->setSearchPaths({QFileInfo(page).path()});
            browser_->setSource(page.startsWith(QLatin1Char(':'))
                                    ? QUrl(QStringLiteral("qrc") + page)
                                    : QUrl::fromLocalFile(page));
        }
    }

private:
    QTextBrowser* browser_;
};

QPointer<HelpViewer> g_viewer;

}  // namespace

void RegisterHelpFolder(const QString& folder) {
    Folders().removeAll(folder);
    Folders().prepend(folder);
}

void UnregisterHelpFolder(const QString& folder) { Folders().removeAll(folder); }

QStringList HelpFolders() { return Folders(); }

QString FindHelpPage(int context) {
    const QString file = QStringLiteral("%1.html").arg(context);
    for (const QString& folder : Folders()) {
        const QString path = QDir(folder).filePath(file);
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

QString ShowHelp(int context, QWidget* parent) {
    const QString page = FindHelpPage(context);
    // A window of its own, owned by the dialog that asked: a modal dialog blocks
    // every window but its own children, and the page is read beside the dialog.
    QWidget* owner = parent ? parent->window() : nullptr;
    if (g_viewer && g_viewer->parentWidget() != owner) delete g_viewer;
    if (!g_viewer) {
        g_viewer = new HelpViewer(owner);
        g_viewer->setWindowFlag(Qt::Window);
        g_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_viewer->Show(context, page);
    g_viewer->show();
    g_viewer->raise();
    return page;
}

QWidget* HelpViewerWindow() { return g_viewer; }

}  // namespace axis
