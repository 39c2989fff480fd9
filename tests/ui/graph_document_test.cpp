// A logger's graph document: curves by item number, drawn by CGraphWindow from the
// logger's points, exported as text.
#include "host/plot/graph_document.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>

#include "host/drive/logger.h"
#include "host/plot/graph_window.h"
#include "host/ui/modal_seam.h"

namespace {

// A data logger holding three points of two variables, loaded as a saved log.
struct LoadedLogger {
    QTemporaryDir dir;
    CMC_SingleAxisLogger logger{nullptr, nullptr};
    LoadedLogger() {
        const std::string path = dir.filePath("log.json").toStdString();
        std::ofstream(path) << R"({"format":"orvex-log","version":1,"logType":1,"points":3,
            "divider":1,"variables":["Speed_Reference","Load_Speed"],
            "data":[[0.0,0,0],[0.001,10,4],[0.002,20,15]]})";
        EXPECT_EQ(logger.Load(path), 1) << logger.GetErrorText();
    }
};

TEST(GraphDocument, FiltersTakeOnlyCurvesOfLoggedItems) {
    LoadedLogger l;
    CGraphFilter* filter = l.logger.GetGraphDocument().GetAt(0);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(l.logger.GetGraphDocument().GetAt(1), nullptr);
    EXPECT_TRUE(filter->Add(CXYCurve(0, 1, 1, 2)));
    EXPECT_TRUE(filter->Add(CXYCurve(0, 2, 2, 5)));
    EXPECT_FALSE(filter->Add(CXYCurve(0, 3, 1, 8)));  // only two variables logged
    EXPECT_FALSE(filter->Add(CXYCurve(0, 1, 3, 8)));  // no third axis
    EXPECT_EQ(filter->Curves().size(), 2u);
    EXPECT_EQ(filter->ItemName(2), "Load_Speed");
}

TEST(GraphDocument, GraphDrawsTheLoggerPointsInItsFrame) {
    LoadedLogger l;
    CGraphFilter* filter = l.logger.GetGraphDocument().GetAt(0);
    filter->Add(CXYCurve(0, 2, 1, 5));
    QWidget frame;
    auto* graph = new CGraphWindow;
    graph->SubclassDlgItem(&frame, filter);
    EXPECT_EQ(graph->parentWidget(), &frame);
    ASSERT_EQ(graph->GetCurveCount(), 1);
    graph->RefreshGraph();
    EXPECT_EQ(graph->CurveY(0), (std::vector<double>{0, 4, 15}));
    EXPECT_EQ(graph->CurveX(0), (std::vector<double>{0.0, 0.001, 0.002}));
    const double extra[] = {0.003, 30, 27};
    graph->UpdateLastPoint(extra);
    EXPECT_EQ(graph->CurveY(0).back(), 27);
}

TEST(GraphDocument, ExportWritesTimeAndShownItems) {
    LoadedLogger l;
    axis::ScriptedModalSeam seam;
    CGraphFilter* filter = l.logger.GetGraphDocument().GetAt(0);
    filter->Add(CXYCurve(0, 2, 1, 5));
    const QString path = l.dir.filePath("SpeedTuning.csv");
    seam.AnswerFilePrompt(path);
    ASSERT_EQ(filter->ExportToASCII("SpeedTuning"), 1);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              "\"Time\",\"Load_Speed\"\n0,0\n0.001,4\n0.002,15\n");
    seam.AnswerFilePrompt(QString());
    EXPECT_EQ(filter->ExportToASCII("SpeedTuning"), 0);  // cancelled

    CMC_SingleAxisLogger empty(nullptr, nullptr);
    EXPECT_EQ(empty.GetGraphDocument().GetAt(0)->ExportToASCII("x"), 0);
    EXPECT_EQ(seam.MessageTexts().size(), 1);  // said there is nothing to export
}

}  // namespace
