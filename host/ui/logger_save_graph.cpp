// The logger's "save plots": the part of the logger that asks the user, kept with
// the other user-interface code of the host.

#include <QString>

#include "host/drive/logger.h"
#include "host/ui/modal_seam.h"

int CMC_Logger::SaveGraph(const char* name, QWidget* parent) {
    if (data_.empty()) return Fail("Nothing has been logged yet.");
    axis::FilePrompt prompt;
    prompt.kind = axis::FilePromptKind::Save;
    prompt.caption = QStringLiteral("Save Logged Data");
    prompt.suggested_name =
        QString::fromUtf8(name && *name ? name : "Logger") + QStringLiteral(".json");
    prompt.filter = QStringLiteral("Logged data (*.json)");
    const QString path = axis::PromptForFile(parent, prompt);
    if (path.isEmpty()) return 0;
    return Save(path.toStdString());
}
