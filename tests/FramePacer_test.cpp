// Painting the main window at most once a frame.
#include "shell/FramePacer.h"
#include "support/QtApp.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

using namespace orvex;
using namespace orvex::test;

namespace {

// Counts its paintings and remembers the value it last painted.
class Canvas : public QWidget {
public:
    int value = 0;
    int painted = -1;
    int paintings = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        painted = value;
        ++paintings;
    }
};

TEST(FramePacer, ChangesWithinAFrameArePaintedOnceAndTheLastOneIsPainted)
{
    EnsureQApp();
    Canvas window;
    // A long frame, so that a slow machine still asks several times in one.
    new FramePacer(&window, 300);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return window.paintings > 0; }, 5000));

    window.value = 1;
    window.update();
    ASSERT_TRUE(WaitFor([&] { return window.painted == 1; }, 5000));
    const int before = window.paintings;
    for (int i = 2; i <= 10; ++i) {
        window.value = i;
        window.update();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(window.paintings, before); // held until the frame is over
    ASSERT_TRUE(WaitFor([&] { return window.painted == 10; }, 5000));
    EXPECT_EQ(window.paintings, before + 1);
}

// A window slow to paint (the whole window through a software OpenGL
// rasteriser) is painted less often, three frames apart at most.
TEST(FramePacer, ASlowPaintingSpacesTheNextOnes)
{
    EnsureQApp();
    struct SlowCanvas : QWidget {
        QElapsedTimer clock;
        std::vector<qint64> starts;
        void paintEvent(QPaintEvent *) override
        {
            starts.push_back(clock.elapsed());
            QThread::msleep(30);
        }
    } window;
    window.clock.start();
    new FramePacer(&window, 20);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.starts.empty(); }, 5000));
    QElapsedTimer asking;
    asking.start();
    while (asking.elapsed() < 600) {
        window.update();
        QCoreApplication::processEvents();
    }
    const auto &starts = window.starts;
    ASSERT_GE(starts.size(), 4u);
    for (size_t i = 2; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 55) << "painting " << i;
}

} // namespace
