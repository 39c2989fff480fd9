#include "plugin/orvex_app.h"

#include <QString>
#include <QtGlobal>

#include "host/ui/help_viewer.h"

// Resource initialisers live outside any namespace (Qt's rule).
static void InitOrvexResources() {
    Q_INIT_RESOURCE(orvex);
}
static void CleanupOrvexResources() {
    Q_CLEANUP_RESOURCE(orvex);
}

COrvexApp::COrvexApp() {
    InitOrvexResources();
    axis::RegisterHelpFolder(QString::fromLatin1(kHelpFolder));
}

COrvexApp::~COrvexApp() {
    axis::UnregisterHelpFolder(QString::fromLatin1(kHelpFolder));
    CleanupOrvexResources();
}

namespace {
// Constructed while the library loads, before the host can call an entry point.
COrvexApp g_the_app;
}  // namespace

COrvexApp& TheOrvexApp() {
    return g_the_app;
}
