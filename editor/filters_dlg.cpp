#include "editor/filters_dlg.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "compute/biquad_response.h"
#include "editor/editor_helpers.h"
#include "host/plot/graph_window.h"
#include "host/setup/names.h"
#include "ui_filters.h"

namespace {

using orvex::CBiquadDesigner;

std::string Numbered(const char* stem, int i) {
    return stem + std::to_string(i);
}

// The location list, with each entry's value of "BQFilterLocation%d".
const std::pair<const char*, int> kLocations[] = {
    {"Position Controller Output", CFiltersDialog::kPositionControllerOutput},
    {"Speed Controller Output", CFiltersDialog::kSpeedControllerOutput},
    {"Speed Feedback", CFiltersDialog::kSpeedFeedback}};

bool IsLeadLag(int type) {
    return type == CBiquadDesigner::kLeadLag1 || type == CBiquadDesigner::kLeadLag2;
}

// The plot's lowest frequency; the highest is the slow loop's Nyquist frequency.
constexpr double kLowestHz = 1.0;
// A notch's exact zero would be minus infinity: the plot stops at this depth.
constexpr double kFloorDb = -60.0;

}  // namespace

CFiltersDialog::CFiltersDialog(CMC_Setup* setup, int running, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::Filters>()),
      running_(running) {
    ui_->setupUi(Layout());
    Ui::Filters& f = *ui_;
    controls_ = {{
        {f.filter1Frame, f.filter1Title, f.filter1OnCheck, f.filter1LocationLabel,
         f.filter1LocationList, f.filter1TypeLabel, f.filter1TypeList, f.filter1FirstLabel,
         f.filter1F1Edit, f.filter1F1Unit, f.filter1SecondLabel, f.filter1QEdit, f.filter1F2Edit,
         f.filter1F2Unit},
        {f.filter2Frame, f.filter2Title, f.filter2OnCheck, f.filter2LocationLabel,
         f.filter2LocationList, f.filter2TypeLabel, f.filter2TypeList, f.filter2FirstLabel,
         f.filter2F1Edit, f.filter2F1Unit, f.filter2SecondLabel, f.filter2QEdit, f.filter2F2Edit,
         f.filter2F2Unit},
        {f.filter3Frame, f.filter3Title, f.filter3OnCheck, f.filter3LocationLabel,
         f.filter3LocationList, f.filter3TypeLabel, f.filter3TypeList, f.filter3FirstLabel,
         f.filter3F1Edit, f.filter3F1Unit, f.filter3SecondLabel, f.filter3QEdit, f.filter3F2Edit,
         f.filter3F2Unit},
    }};
    const int n = CBiquadDesigner::kFilterCount;
    // A drive without filters binds nothing; its boxes stay disabled.
    axis::ScopedSilentLookup silent;
    for (int i = 1; i <= n; ++i)
        AddListParameterControls(Numbered("BQFilterLocation", i).c_str(), Controls(i).location);
    for (int i = 1; i <= n; ++i)
        AddCheckParameterControls(Numbered("BQFilter", i).c_str(), Controls(i).on);
    for (int i = 1; i <= n; ++i)
        AddListParameterControls(Numbered("BQFilterType", i).c_str(), Controls(i).type);
    for (int i = 1; i <= n; ++i)
        AddParameterControls(Numbered("BQFilterQ", i).c_str(), Controls(i).q);
    for (int i = 1; i <= n; ++i)
        AddParameterControls(Numbered("BQFilterF1", i).c_str(), Controls(i).f1,
                             Controls(i).f1_unit);
    for (int i = 1; i <= n; ++i)
        AddParameterControls(Numbered("BQFilterF2", i).c_str(), Controls(i).f2,
                             Controls(i).f2_unit);

    // Connected after the bindings, so the parameter is written before the rules run.
    for (const FilterControls& c : controls_) {
        connect(c.on, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
        for (QComboBox* list : {c.type, c.location})
            connect(list, &QComboBox::activated, this, [this] { UpdateData(false); });
    }

    CGraphWindow* graph = f.responseGraph;
    graph->SetTitle(tr("Filter response"));
    graph->SetXLabel(tr("Frequency [Hz]"));
    graph->SetYLabel(CGraphWindow::kLeftAxis, tr("Magnitude [dB]"));
    graph->SetYLabel(CGraphWindow::kRightAxis, tr("Phase [deg]"));
    QCustomPlot* plot = graph->Plot();
    plot->xAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->xAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    // The legend in the lower left corner, where low-pass and notch curves leave room.
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignLeft);
    QFont legend_font = plot->legend->font();
    legend_font.setPointSizeF(legend_font.pointSizeF() * 0.85);
    plot->legend->setFont(legend_font);
}

CFiltersDialog::~CFiltersDialog() = default;

bool CFiltersDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    std::vector<std::string> names;
    std::vector<int> types;
    designer_.GetOfferedTypes(names, types);
    for (int i = 1; i <= CBiquadDesigner::kFilterCount; ++i) {
        const FilterControls& c = Controls(i);
        c.type->clear();
        for (size_t k = 0; k < names.size(); ++k)
            c.type->addItem(QString::fromStdString(names[k]), types[k]);
        c.location->clear();
        for (const auto& [name, value] : kLocations)
            c.location->addItem(QString::fromLatin1(name), value);
    }
    for (int i = 1; i <= CBiquadDesigner::kFilterCount; ++i)
        RefreshParameterControls(Numbered("BQFilterType", i).c_str());
    for (int i = 1; i <= CBiquadDesigner::kFilterCount; ++i)
        RefreshParameterControls(Numbered("BQFilterLocation", i).c_str());
    RefreshAllParameters();
    UpdateData(false);
    return true;
}

void CFiltersDialog::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (save) return;
    ApplyLoadRules();
    DrawResponses();
}

void CFiltersDialog::ApplyLoadRules() {
    const CMC_Setup* setup = GetSetup();
    const bool running = running_ != 0;
    for (int i = 1; i <= CBiquadDesigner::kFilterCount; ++i) {
        const FilterControls& c = Controls(i);
        const std::string on_name = Numbered("BQFilter", i);
        const std::string type_name = Numbered("BQFilterType", i);
        if (!orvex::SetupHas(setup, {on_name.c_str(), type_name.c_str()})) {
            // A drive without filters: the box stays, every control of it off.
            EnableChildren({c.title, c.on, c.location_label, c.location, c.type_label, c.type,
                            c.first_label, c.f1, c.f1_unit, c.second_label, c.q, c.f2, c.f2_unit},
                           false);
            continue;
        }
        RefreshParameterControls(Numbered("BQFilterQ", i).c_str());
        const bool on = orvex::IntValue(setup, on_name.c_str()) != 0;
        const int type = orvex::IntValue(setup, type_name.c_str());
        const bool lead_lag = IsLeadLag(type);
        // The box's title stands for its frame: a disabled frame would take the on/off
        // switch with it.
        EnableChild(c.title, on);
        EnableChildren({c.location_label, c.location}, on && !running);
        EnableChildren({c.type_label, c.type}, on);
        // A first-order low pass has no Q: its field stays, greyed, showing the value.
        EnableChildren({c.second_label, c.q}, on && type != CBiquadDesigner::kLowPass1);
        EnableChildren({c.first_label, c.f1, c.f1_unit, c.f2, c.f2_unit}, on);
        EnableChild(c.on, !running);
        SetChildText(c.on, on ? QStringLiteral("On") : QStringLiteral("Off"));
        SetChildText(c.first_label,
                     lead_lag ? QStringLiteral("Lead Frequency") : QStringLiteral("Frequency"));
        SetChildText(c.second_label,
                     lead_lag ? QStringLiteral("Lag Frequency") : QStringLiteral("Q"));
        ShowChildren({c.f2, c.f2_unit}, lead_lag);
        ShowChild(c.q, !lead_lag);
    }
}

void CFiltersDialog::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
    // A changed frequency or Q changes the filter's shape.
    if (axis::NamesEqual(std::string_view(name).substr(0, 8), "BQFilter")) DrawResponses();
}

void CFiltersDialog::DrawResponses() {
    CGraphWindow* graph = ui_->responseGraph;
    graph->RemoveCurves();
    CMC_Setup* setup = GetSetup();
    if (!orvex::SetupHas(setup, {"Ts_S"})) return;
    const double ts = setup->GetParameterValueInBaseUnit("Ts_S");
    const std::vector<double> frequencies =
        orvex::LogFrequencies(kLowestHz, 0.5 / ts, kResponsePoints);
    CBiquadDesigner designer;
    for (int i = 1; i <= CBiquadDesigner::kFilterCount; ++i) {
        const std::string on_name = Numbered("BQFilter", i);
        if (!orvex::SetupHas(setup, {on_name.c_str()}) ||
            orvex::IntValue(setup, on_name.c_str()) == 0)
            continue;
        axis::ScopedSilentLookup silent;
        if (!designer.DesignQuantized(setup, i)) continue;
        orvex::FrequencyResponse r = orvex::QuantizedBiquadResponse(
            designer.coefficients(), designer.scale_factor(), ts, frequencies);
        if (r.frequency_hz.empty()) continue;
        for (double& db : r.magnitude_db) db = std::max(db, kFloorDb);
        const int magnitude = graph->AddCurve(tr("Filter %1 magnitude").arg(i), i);
        const int phase =
            graph->AddCurve(tr("Filter %1 phase").arg(i), i, CGraphWindow::kRightAxis);
        graph->SetCurveData(magnitude, r.frequency_hz, r.magnitude_db);
        graph->SetCurveData(phase, r.frequency_hz, r.phase_deg);
        QCPGraph* phase_graph = graph->Plot()->graph(phase);
        QPen pen = phase_graph->pen();
        pen.setStyle(Qt::DashLine);
        phase_graph->setPen(pen);
    }
    graph->ZoomOut();
}
