// SPDX-License-Identifier: MIT
#include "panel/PanelScrollView.h"
#include "common/AppNames.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(PanelScrollView, WheelArithmetic) {
    struct Case {
        const char* name;
        double origin, dx, dy;
        bool precise, reverse;
        double expected;
    };
    const double doc = 2864, clip = 1000, card = 236; // 12 cards, at most 1864
    const std::vector<Case> cases = {
        {"precise vertical 10 moves 25", 100, 0, 10, true, false, 125},
        {"one notch moves one card", 100, 0, 1, false, false, 336},
        {"a high-resolution wheel's quarter notch moves a quarter card", 100, 0, 0.25, false, false, 159},
        {"reverse flips precise", 100, 0, 10, true, true, 75},
        {"reverse flips a notch", 500, 0, 1, false, true, 264},
        {"horizontal larger: -(dx x m)", 500, 2, 1, false, false, 28},
        {"horizontal precise", 100, -4, 1, true, false, 110},
        {"equal magnitudes use vertical", 100, 1, 1, false, false, 336},
        {"equal magnitudes negative", 500, -1, -1, false, false, 264},
        {"left at start stays 0", 0, 0, -3, false, false, 0},
        {"never past the end", 1850, 0, 5, false, false, 1864},
        {"not a number becomes 0", 100, 0, std::numeric_limits<double>::quiet_NaN(), false, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(PanelScrollView::scrolledX(c.origin, c.dx, c.dy, c.precise, c.reverse, card, doc, clip),
                         c.expected)
            << c.name;
    // A strip narrower than the clip view stays at 0.
    EXPECT_DOUBLE_EQ(PanelScrollView::scrolledX(0, 0, 5, false, false, card, 500, 1000), 0);
}

namespace {
class Source : public CollectionViewDataSource {
public:
    int count = 12;
    int numberOfItems(CollectionView*) override { return count; }
    CollectionViewItem* itemForIndex(CollectionView* view, int index) override { return view->makeItem(index); }
};

void sendWheel(QWidget* target, QPoint pixels, QPoint angle) {
    QWheelEvent event(QPointF(10, 10), QPointF(target->mapToGlobal(QPoint(10, 10))), pixels, angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &event);
}
} // namespace

TEST(PanelScrollView, WheelEventsScrollSidewaysAndAskForMore) {
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("wheel")) + "/d.conf");
    Source source;
    PanelScrollView view;
    view.setItemFactory([] { return new CollectionViewItem; });
    view.setDataSource(&source);
    view.resize(1000, 268);
    view.show();
    view.reloadData();
    int loadMoreCalls = 0;
    view.onLoadMore = [&] { ++loadMoreCalls; };

    // Wheel-down and wheel-right move toward older cards, wheel-up and wheel-left back.
    sendWheel(view.viewport(), QPoint(), QPoint(0, -120)); // one notch, one card
    EXPECT_EQ(view.contentOffset(), 236);
    sendWheel(view.viewport(), QPoint(0, -10), QPoint(0, -120)); // touchpad: pixel delta wins
    EXPECT_EQ(view.contentOffset(), 261);
    sendWheel(view.viewport(), QPoint(), QPoint(-120, 0));
    EXPECT_EQ(view.contentOffset(), 497);
    sendWheel(view.viewport(), QPoint(), QPoint(120, 0));
    sendWheel(view.viewport(), QPoint(), QPoint(0, 120));
    EXPECT_EQ(view.contentOffset(), 25);
    EXPECT_EQ(loadMoreCalls, 5);

    UserDefaults::standard().setBool(DefaultsKeys::reverseScrollDirection, true);
    sendWheel(view.viewport(), QPoint(), QPoint(0, 120));
    EXPECT_EQ(view.contentOffset(), 261);
    UserDefaults::standard().setBool(DefaultsKeys::reverseScrollDirection, false);
    EXPECT_EQ(loadMoreCalls, 6);
}
