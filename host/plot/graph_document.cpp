#include "host/plot/graph_document.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>

#include "host/drive/logger.h"
#include "host/setup/file_save.h"
#include "host/ui/modal_seam.h"

bool CGraphFilter::Add(const CXYCurve& curve) {
    const int items = source_ ? static_cast<int>(source_->GetVariables().size()) : 0;
    for (int item : {curve.x_item, curve.y_item})
        if (item < 0 || item > items) return false;
    if (curve.y_axis != 1 && curve.y_axis != 2) return false;
    curves_.push_back(curve);
    return true;
}

std::optional<CGraphFilter::LegendAnchor> CGraphFilter::GetLegendAnchor() const {
    if (float_list_.size() != 2 || !std::isfinite(float_list_[0]) || !std::isfinite(float_list_[1]))
        return std::nullopt;
    return LegendAnchor{float_list_[0], float_list_[1]};
}

QString CGraphFilter::ItemName(int item) const {
    if (item == 0) return QStringLiteral("Time");
    if (!source_ || item < 0 || item > static_cast<int>(source_->GetVariables().size())) return {};
    return QString::fromStdString(source_->GetVariables()[static_cast<size_t>(item - 1)]);
}

std::vector<int> CGraphFilter::ShownItems() const {
    std::vector<int> items = {0};
    for (const auto& c : curves_)
        for (int item : {c.x_item, c.y_item})
            if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
    return items;
}

bool CGraphFilter::WriteCsv(const QString& path) const {
    if (!source_) return false;
    QString text;
    QTextStream out(&text);
    const auto items = ShownItems();
    QStringList header;
    for (int item : items) header << QLatin1Char('"') + ItemName(item) + QLatin1Char('"');
    out << header.join(QLatin1Char(',')) << '\n';
    const size_t n = source_->GetDrawablePointCount();
    for (size_t i = 0; i < n; ++i) {
        const double* p = source_->GetDrawablePoint(i);
        if (!p) continue;
        QStringList cells;
        for (int item : items) cells << QString::number(p[item], 'g', 17);
        out << cells.join(QLatin1Char(',')) << '\n';
    }
    out.flush();
    // Through the one save path: a link or a stray temporary file is never followed.
    const QByteArray bytes = text.toUtf8();
    return axis::SaveFileAtomically(path.toStdString(),
                                    std::string_view(bytes.constData(), bytes.size()),
                                    {.keep_backup = false})
        .empty();
}

int CGraphFilter::ExportToASCII(const char* name, QWidget* parent) const {
    if (!source_ || source_->GetDrawablePointCount() == 0) {
        axis::ShowMessage(parent, QObject::tr("There are no logged points to export."));
        return 0;
    }
    axis::FilePrompt prompt{axis::FilePromptKind::Save,
                            QObject::tr("Export as text"),
                            {},
                            QString::fromUtf8(name ? name : "Logger") + QStringLiteral(".csv"),
                            QObject::tr("CSV file (*.csv)")};
    const QString path = axis::PromptForFile(parent, prompt);
    if (path.isEmpty()) return 0;
    if (WriteCsv(path)) return 1;
    axis::ShowMessage(parent, QObject::tr("The points could not be written to %1.").arg(path),
                      axis::MessageButtons::Ok, axis::MessageIcon::Error);
    return 0;
}

CGraphDocument::CGraphDocument(const CMC_Logger* source) {
    filters_.push_back(std::make_unique<CGraphFilter>(source));
}

CGraphDocument::~CGraphDocument() = default;

CGraphFilter* CGraphDocument::GetAt(int index) {
    if (index < 0 || index >= GetCount()) return nullptr;
    return filters_[static_cast<size_t>(index)].get();
}
