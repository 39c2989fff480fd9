// Graph widgets, the encoder resolution table and the palette.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QFile>
#include <QImage>
#include <QSet>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <climits>

#include "host/plot/bar_graph.h"
#include "host/plot/encoder_diagram.h"
#include "host/plot/graph_window.h"
#include "host/plot/oscilloscope.h"
#include "host/plot/resolution.h"
#include "host/plot/rgb16.h"
#include "host/ui/modal_seam.h"

namespace {

TEST(Resolution, FindsTheNearestStandardLineCountByMagnitude) {
    const CResolution table;
    struct Case {
        int lines;
        int expected;
    };
    const Case cases[] = {
        {1000, 1000},   {998, 1000},      {1020, 1024},     {3000, 2500}, {3001, 2500},
        {3300, 4000},   {-1000, 1000},    {-4096, 4096},    {0, 100},     {1, 100},
        {50000, 10000}, {INT_MIN, 10000}, {INT_MAX, 10000},
    };
    for (const Case& c : cases) EXPECT_EQ(table.FindBestResolution(c.lines), c.expected) << c.lines;
    EXPECT_EQ(table.GetResolution(0), 100);
    EXPECT_EQ(table.GetResolution(table.GetCount()), 0);
    EXPECT_EQ(table.GetResolution(-1), 0);
    for (int i = 1; i < table.GetCount(); ++i)
        EXPECT_LT(table.GetResolution(i - 1), table.GetResolution(i));
}

TEST(Rgb16, SixteenDistinctColoursRepeating) {
    QSet<QRgb> colours;
    for (int i = 0; i < 16; ++i) colours.insert(RGB16(i).rgb());
    EXPECT_EQ(colours.size(), 16);
    EXPECT_EQ(RGB16(16), RGB16(0));
    EXPECT_EQ(RGB16(-1), RGB16(15));
}

class GraphWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        graph.resize(480, 320);
        speed = graph.AddCurve("speed", 12);
        current = graph.AddCurve("current", 9, CGraphWindow::kRightAxis);
        graph.SetCurveData(speed, {0, 1, 2}, {0, 10, 20});
        graph.AppendPoint(speed, 3, 30);
        graph.AppendPoint(current, 0.5, -2);
        graph.AppendPoint(current, 1.5, 4);
    }
    CGraphWindow graph;
    int speed = 0, current = 0;
    QTemporaryDir dir;
};

TEST_F(GraphWindowTest, CurvesSitOnTheirAxesAndZoomOutShowsAllData) {
    QCustomPlot* plot = graph.Plot();
    EXPECT_EQ(plot->graph(speed)->valueAxis(), plot->yAxis);
    EXPECT_EQ(plot->graph(current)->valueAxis(), plot->yAxis2);
    EXPECT_EQ(plot->graph(speed)->dataCount(), 4);
    graph.ZoomOut();
    EXPECT_LE(plot->xAxis->range().lower, 0);
    EXPECT_GE(plot->xAxis->range().upper, 3);
    EXPECT_LE(plot->yAxis->range().lower, 0);
    EXPECT_GE(plot->yAxis->range().upper, 30);
    EXPECT_LE(plot->yAxis2->range().lower, -2);
    EXPECT_GE(plot->yAxis2->range().upper, 4);
}

TEST_F(GraphWindowTest, RingBufferPointsWrapAround) {
    graph.SetRingBuffer(current, 3);
    graph.UpdateRingPoint(current, 0, 0, 1);
    graph.UpdateRingPoint(current, 4, 1, 2);   // index 1
    graph.UpdateRingPoint(current, -1, 2, 3);  // index 2
    EXPECT_EQ(graph.CurveY(current), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(graph.Plot()->graph(current)->dataCount(), 3);
    graph.UpdateRingPoint(speed, 0, 9, 9);  // not a ring: ignored
    EXPECT_EQ(graph.CurveY(speed).front(), 0);
}

// A scope's ring sweeps on and on: the plot gets its points oldest first, each value
// with its own time, also when a time goes back (a new capture) and they must be sorted.
TEST_F(GraphWindowTest, RingSweepsReachThePlotInTimeOrder) {
    graph.SetRingBuffer(current, 4);
    for (int t = 0; t < 10; ++t) {
        graph.UpdateRingPoint(current, t, t, 10 * t);
        if (t == 5) graph.RedrawNow();
    }
    auto plotted = [&] {
        graph.RedrawNow();
        std::vector<std::pair<double, double>> points;
        for (const QCPGraphData& p : *graph.Plot()->graph(current)->data())
            points.emplace_back(p.key, p.value);
        return points;
    };
    using Points = std::vector<std::pair<double, double>>;
    EXPECT_EQ(plotted(), (Points{{6, 60}, {7, 70}, {8, 80}, {9, 90}}));
    graph.UpdateRingPoint(current, 10, 0.5, 5);  // a new capture starts
    EXPECT_EQ(plotted(), (Points{{0.5, 5}, {7, 70}, {8, 80}, {9, 90}}));
}

TEST_F(GraphWindowTest, ExportsCsvWithOneColumnPairPerCurve) {
    const QString path = dir.filePath("plot.csv");
    ASSERT_TRUE(graph.ExportCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], "\"speed x\",\"speed y\",\"current x\",\"current y\"");
    EXPECT_EQ(lines[1], "0,0,0.5,-2");
    EXPECT_EQ(lines[4], "3,30,,");
}

TEST_F(GraphWindowTest, SavesPngAndSvgPictures) {
    const QString png = dir.filePath("plot.png");
    const QString svg = dir.filePath("plot.svg");
    ASSERT_TRUE(graph.SavePicture(png, 400, 300));
    EXPECT_EQ(QImage(png).size(), QSize(400, 300));
    ASSERT_TRUE(graph.SavePicture(svg));
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("speed"));  // the legend is drawn as text
    EXPECT_TRUE(QSvgRenderer(svg).isValid());
    EXPECT_FALSE(graph.SavePicture(dir.filePath("plot.bmpx")));
}

TEST_F(GraphWindowTest, SaveAsAsksThroughTheModalSeamAndReportsFailure) {
    axis::ScriptedModalSeam seam;
    seam.AnswerFilePrompt(dir.filePath("asked.png"));
    seam.AnswerFilePrompt(dir.filePath("no-such-folder/plot.csv"));
    seam.AnswerFilePrompt("");
    EXPECT_TRUE(graph.SavePictureAs());
    EXPECT_TRUE(QFile::exists(dir.filePath("asked.png")));
    EXPECT_FALSE(graph.ExportCsvAs());
    EXPECT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_FALSE(graph.SavePictureAs());  // cancelled: no message
    EXPECT_EQ(seam.MessageTexts().size(), 1);
}

TEST(Oscilloscope, KeepsOnlyTheLastSpanAndRestartsWhenTimeGoesBack) {
    CMC_Oscilloscope scope;
    scope.SetTimeSpan(1.0);
    for (int i = 0; i <= 20; ++i) scope.AddSample(0.1 * i, i, -i);
    EXPECT_EQ(scope.GetSampleCount(), 11);  // 1.0 s .. 2.0 s
    scope.RedrawNow();
    EXPECT_NEAR(scope.Plot()->xAxis->range().upper, 2.0, 1e-12);
    EXPECT_NEAR(scope.Plot()->xAxis->range().lower, 1.0, 1e-12);
    EXPECT_EQ(scope.Plot()->graph(1)->valueAxis(), scope.Plot()->yAxis2);
    scope.AddSample(0.0, 1, 1);
    EXPECT_EQ(scope.GetSampleCount(), 1);
}

TEST(EncoderDiagram, AttachesIntoItsPlaceholderAndIgnoresUndefinedAngles) {
    QWidget dialog;
    auto* placeholder = new QWidget(&dialog);
    CEncoderDiagram* diagram = new CEncoderDiagram;
    diagram->Attach(placeholder);
    EXPECT_EQ(diagram->parentWidget(), placeholder);
    diagram->SetAngle(1.5);
    diagram->SetAngle(std::nan(""));
    EXPECT_EQ(diagram->GetAngle(), 1.5);
}

TEST(BarGraph, DrawsTheValueWithinItsRange) {
    CBarGraph bar;
    bar.SetRange(0, 60);
    bar.SetLabel("Vdc [V]");
    bar.SetValue(75);
    EXPECT_EQ(bar.Plot()->xAxis->label(), "Vdc [V]: 75");
    auto* bars = qobject_cast<QCPBars*>(bar.Plot()->plottable(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->data()->at(0)->value, 60);
}

}  // namespace
