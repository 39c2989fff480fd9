// "Filters": the lists, the rules of each box across on/off, types and the running
// flag, and the responses drawn for the filters that are on.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "editor/filters_dlg.h"
#include "editor_fixture.h"
#include "host/plot/graph_window.h"
#include "ui_filters.h"

namespace {

using Controls = CFiltersDialog::FilterControls;

class FiltersTest : public EditorTest {
  protected:
    int Run(const std::function<void(CFiltersDialog&)>& script, int running = 0, bool ok = true) {
        CFiltersDialog dlg(setup.get(), running, nullptr);
        return RunScripted(
            dlg, [&] { script(dlg); }, ok);
    }
    static std::vector<QWidget*> AllButTheSwitch(const Controls& c) {
        return {c.title, c.location_label, c.location,     c.type_label, c.type, c.first_label,
                c.f1,    c.f1_unit,        c.second_label, c.q,          c.f2,   c.f2_unit};
    }
    static void Choose(QComboBox* list, int data) {
        const int index = list->findData(data);
        ASSERT_NE(index, -1) << data;
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
};

TEST_F(FiltersTest, ListsOfferTheDesignersTypesAndTheThreeLocations) {
    Run([&](CFiltersDialog& dlg) {
        for (int i = 1; i <= 3; ++i) {
            const Controls& c = dlg.Controls(i);
            ASSERT_EQ(c.type->count(), 7);
            std::vector<int> data;
            for (int k = 0; k < c.type->count(); ++k) data.push_back(c.type->itemData(k).toInt());
            EXPECT_EQ(data, (std::vector<int>{0, 1, 2, 3, 4, 8, 9}));
            EXPECT_EQ(c.type->itemText(6), "Lead-lag 2nd order");
            ASSERT_EQ(c.location->count(), 3);
            EXPECT_EQ(c.location->itemText(0), "Position Controller Output");
            EXPECT_EQ(c.location->itemData(2).toInt(), 2);
        }
        // The demo: a notch on the speed controller output, a low pass on the feedback.
        EXPECT_EQ(dlg.Controls(1).type->currentText(), "Notch");
        EXPECT_EQ(dlg.Controls(1).location->currentText(), "Speed Controller Output");
        EXPECT_EQ(dlg.Controls(2).location->currentText(), "Speed Feedback");
    });
}

TEST_F(FiltersTest, FilterOffHasOnlyItsSwitchEnabled) {
    ASSERT_EQ(Value("BQFilter3"), 0);
    Run([&](CFiltersDialog& dlg) {
        const Controls& c = dlg.Controls(3);
        EXPECT_EQ(c.on->text(), "Off");
        EXPECT_TRUE(c.on->isEnabled());
        for (QWidget* w : AllButTheSwitch(c))
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        c.on->click();
        EXPECT_EQ(c.on->text(), "On");
        EXPECT_TRUE(c.location->isEnabled());
        EXPECT_TRUE(c.f2->isEnabled());
    });
    EXPECT_EQ(Value("BQFilter3"), 1);
}

TEST_F(FiltersTest, FieldsAndLabelsFollowTheType) {
    struct Case {
        int type;
        const char* first;
        const char* second;
        bool q_shown;
        bool q_enabled;
    };
    const Case cases[] = {
        {0, "Frequency", "Q", true, false},
        {1, "Frequency", "Q", true, true},
        {2, "Frequency", "Q", true, true},
        {4, "Frequency", "Q", true, true},
        {8, "Lead Frequency", "Lag Frequency", false, false},
        {9, "Lead Frequency", "Lag Frequency", false, false},
    };
    Run([&](CFiltersDialog& dlg) {
        const Controls& c = dlg.Controls(1);
        for (const Case& k : cases) {
            Choose(c.type, k.type);
            EXPECT_EQ(c.first_label->text(), k.first) << k.type;
            EXPECT_EQ(c.second_label->text(), k.second) << k.type;
            EXPECT_EQ(c.q->isHidden(), !k.q_shown) << k.type;
            EXPECT_EQ(c.f2->isHidden(), k.q_shown) << k.type;
            EXPECT_EQ(c.f2_unit->isHidden(), k.q_shown) << k.type;
            if (k.q_shown) {
                EXPECT_EQ(c.q->isEnabled(), k.q_enabled) << k.type;
                EXPECT_EQ(c.second_label->isEnabled(), k.q_enabled) << k.type;
            }
        }
    });
    EXPECT_EQ(Value("BQFilterType1"), 9);
}

TEST_F(FiltersTest, RunningTestFixesNumberAndPlacementButNotShape) {
    Run(
        [&](CFiltersDialog& dlg) {
            EXPECT_TRUE(dlg.IsRunning());
            for (int i = 1; i <= 3; ++i) {
                const Controls& c = dlg.Controls(i);
                EXPECT_FALSE(c.on->isEnabled()) << i;
                EXPECT_FALSE(c.location->isEnabled()) << i;
                EXPECT_FALSE(c.location_label->isEnabled()) << i;
            }
            const Controls& on = dlg.Controls(1);
            EXPECT_TRUE(on.type->isEnabled());
            EXPECT_TRUE(on.f1->isEnabled());
            EXPECT_TRUE(on.q->isEnabled());
            TypeInto(on.f1, "300");
        },
        1);
    EXPECT_EQ(Value("BQFilterF11"), 300);
}

// The notch's deepest point on the plot, in Hz.
double NotchAt(CGraphWindow* graph, int curve) {
    const std::vector<double>& y = graph->CurveY(curve);
    const auto lowest = std::min_element(y.begin(), y.end()) - y.begin();
    return graph->CurveX(curve)[lowest];
}

TEST_F(FiltersTest, ResponsesAreDrawnForTheFiltersThatAreOn) {
    Run([&](CFiltersDialog& dlg) {
        CGraphWindow* graph = dlg.Form().responseGraph;
        // Filters 1 and 2: magnitude and phase each.
        ASSERT_EQ(graph->GetCurveCount(), 4);
        EXPECT_EQ(graph->CurveX(0).size(), static_cast<size_t>(CFiltersDialog::kResponsePoints));
        EXPECT_NEAR(graph->CurveX(0).back(), 1000.0, 1e-9);  // Nyquist of the 500 us loop
        EXPECT_NEAR(NotchAt(graph, 0), 400.0, 400.0 * 0.02);
        EXPECT_NEAR(graph->CurveY(0).front(), 0.0, 0.01);  // the notch passes low frequencies

        TypeInto(dlg.Controls(1).f1, "250");
        EXPECT_NEAR(NotchAt(graph, 0), 250.0, 250.0 * 0.02);

        dlg.Controls(3).on->click();
        EXPECT_EQ(graph->GetCurveCount(), 6);
        dlg.Controls(1).on->click();
        EXPECT_EQ(graph->GetCurveCount(), 4);
    });
    EXPECT_EQ(Value("BQFilter1"), 0);
    EXPECT_EQ(Value("BQFilter3"), 1);
}

TEST_F(FiltersTest, DriveWithoutFiltersHasEveryBoxDisabled) {
    setup = Load("minimal.json");
    EXPECT_EQ(Run([&](CFiltersDialog& dlg) {
                  for (int i = 1; i <= 3; ++i) {
                      EXPECT_FALSE(dlg.Controls(i).on->isEnabled());
                      EXPECT_FALSE(dlg.Controls(i).type->isEnabled());
                  }
                  EXPECT_EQ(dlg.Form().responseGraph->GetCurveCount(), 0);
              }),
              1);
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(FiltersTest, OkKeepsATypedValueCancelReportsCancel) {
    EXPECT_EQ(Run([&](CFiltersDialog& dlg) { dlg.Controls(2).f1->setText("123"); }), 1);
    EXPECT_EQ(Value("BQFilterF12"), 123);
    EXPECT_EQ(Run([&](CFiltersDialog&) {}, 0, false), 0);
}

}  // namespace
