#include "fake/FakePlatform.h"
#include "platform/HeldInput.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vx::test {
namespace {

// Notes every key, click and close request that reaches it, in order.
class Witness : public QWidget {
public:
    std::vector<QString> seen;

protected:
    void keyPressEvent(QKeyEvent *e) override { seen.push_back(QStringLiteral("key ") + e->text()); }
    void mousePressEvent(QMouseEvent *) override { seen.push_back(QStringLiteral("click")); }
    void closeEvent(QCloseEvent *e) override
    {
        seen.push_back(QStringLiteral("close"));
        e->ignore();
    }
};

void postKey(QObject *to, const QString &text)
{
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, text));
}

void postClick(QWidget *to)
{
    const QPointF at(1, 1);
    QCoreApplication::postEvent(to, new QMouseEvent(QEvent::MouseButtonPress, at, to->mapToGlobal(at), Qt::LeftButton,
                                                    Qt::LeftButton, Qt::NoModifier));
}

TEST(HeldInput, AnswersTheWindowSystemAndHoldsInputInOrderUntilReleased)
{
    Witness w;
    HeldInput held;
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    postKey(&w, QStringLiteral("a"));
    postClick(&w);
    QCoreApplication::postEvent(&w, new QCloseEvent);
    postKey(&w, QStringLiteral("b"));

    held.dispatchQuietly();
    EXPECT_EQ(w.seen, std::vector<QString>{QStringLiteral("close")}) << "only the close request runs inside a wait";
    EXPECT_TRUE(timerRan) << "timers are the window system's business too";
    EXPECT_TRUE(held.holding());

    // Input that arrives after the wait must come after what was held.
    postKey(&w, QStringLiteral("c"));
    held.release();
    QCoreApplication::processEvents();
    const std::vector<QString> expected{QStringLiteral("close"), QStringLiteral("key a"), QStringLiteral("click"),
                                        QStringLiteral("key b"), QStringLiteral("key c")};
    EXPECT_EQ(w.seen, expected);
    EXPECT_FALSE(held.holding());
}

TEST(HeldInput, DropsInputForAWindowClosedMeanwhile)
{
    HeldInput held;
    auto gone = std::make_unique<Witness>();
    Witness stays;
    postKey(gone.get(), QStringLiteral("x"));
    postKey(&stays, QStringLiteral("y"));
    held.dispatchQuietly();
    gone.reset();
    held.release();
    EXPECT_EQ(stays.seen, std::vector<QString>{QStringLiteral("key y")});
}

TEST(HeldInput, AHandlerThatYieldsWhileReleasingKeepsTheOrder)
{
    HeldInput held;
    Witness w;
    // The first held key runs a handler that yields, as a round started by a click does.
    class Yielding : public Witness {
    public:
        HeldInput *held = nullptr;
        Witness *other = nullptr;

    protected:
        void keyPressEvent(QKeyEvent *e) override
        {
            Witness::keyPressEvent(e);
            held->release();
            other->seen.push_back(QStringLiteral("yield returned"));
        }
    } first;
    first.held = &held;
    first.other = &w;
    postKey(&first, QStringLiteral("1"));
    postKey(&w, QStringLiteral("2"));
    postKey(&w, QStringLiteral("3"));
    held.dispatchQuietly();
    held.release();
    const std::vector<QString> expected{QStringLiteral("key 2"), QStringLiteral("key 3"), QStringLiteral("yield returned")};
    EXPECT_EQ(w.seen, expected);
}

TEST(FakeWaits, AWaitAnswersTheWindowSystemAndHoldsKeysForTheNextYield)
{
    FakePlatform pf(1000);
    Witness w;
    pf.target = &w;
    w.show();
    pf.typeAt(1100, QStringLiteral("k"));
    pf.closeAt(1200);
    pf.typeAt(1300, QStringLiteral("m"));
    pf.closeAt(5000);

    pf.sleep(500);
    EXPECT_EQ(w.seen, std::vector<QString>{QStringLiteral("close")}) << "the close inside the wait, the keys held";
    EXPECT_EQ(pf.tickCount(), 1500u);
    pf.waitUntil(1510);
    EXPECT_EQ(w.seen.size(), 1u) << "a wait shorter than a step answers nothing";
    pf.doEvents();
    const std::vector<QString> expected{QStringLiteral("close"), QStringLiteral("key k"), QStringLiteral("key m")};
    EXPECT_EQ(w.seen, expected);
}

} // namespace
} // namespace vx::test
