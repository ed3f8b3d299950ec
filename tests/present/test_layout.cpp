#include "fake/GameFixture.h"
#include "fake/WidgetProbe.h"
#include "present/Fonts.h"
#include "present/Layout.h"
#include "present/Spinner.h"
#include "results/frmResult.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

// The window system's own entry points for input, as the platform plugin would call them.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow *w, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                    const QString &text = QString(), bool autorep = false, ushort count = 1);
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow *window, const QPointF &local, const QPointF &global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
QT_END_NAMESPACE

namespace vx::test {
namespace {

const QString msGothic = QStringLiteral("ＭＳ ゴシック");
const QString msPGothic = QStringLiteral("ＭＳ Ｐゴシック");
const QString arial = QStringLiteral("Arial");

struct ControlSpec {
    const char *name;
    const char *type;
    const char *parent;
    int left, top, width, height; // pixels
    std::optional<QString> caption;
    std::optional<Color> fore;
    std::optional<Color> back;
    QString face;
    double points;
    bool bold;
    int tabIndex;
    bool visible;
};

// Every control of the main window as designed (twips / 15, halves to even).
const std::vector<ControlSpec> &mainControls()
{
    static const std::vector<ControlSpec> table = {
        {"picPTS", "vx::SurfaceView", "frmClackon", 240, 104, 313, 17, {}, {}, rgb(0, 0, 0), arial, 12, true, 4, false},
        {"picTxt", "vx::SurfaceView", "frmClackon", 344, 72, 169, 41, {}, {}, rgb(0, 0, 0), msPGothic, 15.75, true, 5, false},
        {"frSetting", "QGroupBox", "frmClackon", 9, 0, 353, 73, QStringLiteral("Setting"), rgb(255, 0, 0), rgb(0, 0, 0), msPGothic, 9.75, false, 1, false},
        {"hscHidP", "QScrollBar", "frSetting", 208, 16, 105, 15, {}, {}, {}, {}, 0, false, 11, true},
        {"vsNt", "vx::Spinner", "frSetting", 96, 20, 16, 16, {}, {}, {}, {}, 0, false, 9, true},
        {"vsnS", "vx::Spinner", "frSetting", 96, 44, 16, 16, {}, {}, {}, {}, 0, false, 7, true},
        {"chkHidden", "QCheckBox", "frSetting", 144, 16, 65, 15, QStringLiteral("Hidden"), rgb(255, 255, 255), rgb(0, 0, 0), arial, 9, true, 6, true},
        {"lblhid", "QLabel", "frSetting", 320, 17, 14, 13, QStringLiteral("10"), rgb(0, 255, 255), {}, msPGothic, 9.75, false, 12, true},
        {"lblnumTxts", "QLabel", "frSetting", 64, 20, 32, 16, QStringLiteral("30"), rgb(0, 255, 0), {}, msGothic, 9.75, false, 10, true},
        {"lblnSpd", "QLabel", "frSetting", 64, 44, 32, 16, QStringLiteral("30"), rgb(0, 255, 0), {}, msGothic, 9.75, false, 8, true},
        {"lblCap_1", "QLabel", "frSetting", 29, 46, 33, 13, QStringLiteral("速度："), rgb(255, 255, 0), {}, msPGothic, 9.75, false, 3, true},
        {"lblCap_0", "QLabel", "frSetting", 16, 22, 46, 13, QStringLiteral("文字数："), rgb(255, 255, 0), {}, msPGothic, 9.75, false, 2, true},
        {"cmdStart", "QPushButton", "frmClackon", 224, 80, 137, 24, QStringLiteral("Start(&S)"), {}, {}, msPGothic, 9, false, 0, false},
    };
    return table;
}

QString captionOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    return {};
}

class Layout : public GameFixture {
protected:
    void showSettings()
    {
        GameFixture::showSettings();
        ASSERT_TRUE(form->windowHandle());
    }

    QWidget *control(const char *name) { return form->findChild<QWidget *>(QString::fromLatin1(name)); }

    void clickPart(Spinner *s, Spinner::Part part)
    {
        const QPoint at = s->partRect(part).center();
        const QPointF global = s->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(s, &press);
        QApplication::sendEvent(s, &release);
    }
};

TEST_F(Layout, EveryMainWindowControlIsBuiltAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VX-Clackon!"));
    EXPECT_EQ(form->width(), 366);
    EXPECT_EQ(form->height(), 107);
    EXPECT_EQ(form->minimumSize(), QSize(366, 107)) << "the layout assumes a fixed client size";
    EXPECT_EQ(form->maximumSize(), QSize(366, 107));
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(form->font().family(), QStringLiteral("Impact"));
    EXPECT_DOUBLE_EQ(form->font().pointSizeF(), 21.75);
    EXPECT_TRUE(form->font().italic());
    EXPECT_FALSE(form->font().bold());
    const QList<QSize> iconSizes = form->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));

    const std::map<QString, QWidget *> pointers = {
        {"picPTS", form->picPTS},       {"picTxt", form->picTxt},         {"frSetting", form->frSetting},
        {"hscHidP", form->hscHidP},     {"vsNt", form->vsNt},             {"vsnS", form->vsnS},
        {"chkHidden", form->chkHidden}, {"lblhid", form->lblhid},         {"lblnumTxts", form->lblnumTxts},
        {"lblnSpd", form->lblnSpd},     {"lblCap_1", form->lblCap[1]},    {"lblCap_0", form->lblCap[0]},
        {"cmdStart", form->cmdStart},
    };

    for (const ControlSpec &c : mainControls()) {
        SCOPED_TRACE(c.name);
        QWidget *w = control(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w, pointers.at(QString::fromLatin1(c.name)));
        EXPECT_TRUE(w->inherits(c.type)) << w->metaObject()->className();
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        if (std::string_view(c.name) == "lblhid") {
            // Widened where the stand-in face needs it, so "90" is never clipped.
            EXPECT_EQ(w->pos(), QPoint(c.left, c.top));
            EXPECT_EQ(w->height(), c.height);
            EXPECT_GE(w->width(), c.width);
            EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(QStringLiteral("90")));
            EXPECT_LE(w->geometry().right(), w->parentWidget()->width() - 1);
        } else {
            EXPECT_EQ(w->geometry(), QRect(c.left, c.top, c.width, c.height));
        }
        if (c.caption) {
            EXPECT_EQ(captionOf(w), *c.caption);
        }
        EXPECT_EQ(w->property("tabIndex").toInt(), c.tabIndex);
        EXPECT_EQ(!w->isHidden(), c.visible);

        if (auto *view = qobject_cast<SurfaceView *>(w)) {
            const Surface &s = view->surface();
            EXPECT_EQ(s.fontName(), c.face);
            EXPECT_DOUBLE_EQ(s.fontSize(), c.points);
            EXPECT_EQ(s.fontBold(), c.bold);
            EXPECT_FALSE(s.fontItalic());
            EXPECT_EQ(s.backColor(), *c.back);
            EXPECT_EQ(s.scaleWidth(), c.width) << "the image follows the control";
            EXPECT_EQ(s.scaleHeight(), c.height);
            continue;
        }
        if (!c.face.isEmpty()) {
            EXPECT_EQ(w->font().family(), c.face);
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), c.points);
            EXPECT_EQ(w->font().weight(), c.bold ? QFont::Bold : QFont::Normal);
            EXPECT_FALSE(w->font().italic());
        }
        if (c.fore) {
            EXPECT_EQ(w->palette().color(QPalette::WindowText), toQColor(*c.fore));
        }
        if (c.back) {
            EXPECT_EQ(w->palette().color(QPalette::Window), toQColor(*c.back));
            EXPECT_TRUE(w->autoFillBackground());
        }
    }
    // The value labels are transparent on the black panel: green on the design's pink could hardly be read.
    EXPECT_FALSE(form->lblnumTxts->autoFillBackground());
    EXPECT_FALSE(form->lblnSpd->autoFillBackground());
    EXPECT_FALSE(form->chkHidden->isChecked());
}

TEST_F(Layout, FocusTravelsByTabIndex)
{
    showSettings();
    std::vector<int> order;
    QWidget *w = form->cmdStart;
    for (int i = 0; i < 40; ++i) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->property("tabIndex").isValid() && w->window() == form.get())
            order.push_back(w->property("tabIndex").toInt());
        w = w->nextInFocusChain();
        if (w == form->cmdStart)
            break;
    }
    EXPECT_EQ(order, (std::vector<int>{0, 6, 7, 9, 11}));
}

TEST_F(Layout, ScrollBarsCarryTheirRangesAndStartValues)
{
    struct Bar {
        QScrollBar *bar;
        Qt::Orientation orientation;
        int min, max, small, large, value;
    };
    const std::vector<Bar> bars = {
        {form->hscHidP, Qt::Horizontal, 10, 90, 1, 20, 10},
        {form->vsNt, Qt::Vertical, 10, 100, 1, 10, 80},
        {form->vsnS, Qt::Vertical, 5, 100, 1, 10, 75},
    };
    for (const Bar &b : bars) {
        SCOPED_TRACE(b.bar->objectName().toStdString());
        EXPECT_EQ(b.bar->orientation(), b.orientation);
        EXPECT_EQ(b.bar->minimum(), b.min);
        EXPECT_EQ(b.bar->maximum(), b.max);
        EXPECT_EQ(b.bar->singleStep(), b.small);
        EXPECT_EQ(b.bar->pageStep(), b.large);
        EXPECT_EQ(b.bar->value(), b.value);
    }
}

TEST_F(Layout, ResultWindowIsBuiltAsDesigned)
{
    auto *result = new frmResult(form.get());
    EXPECT_TRUE(result->isWindow());
    EXPECT_EQ(result->parentWidget(), form.get()) << "owned by the main window, in front of it";
    EXPECT_EQ(result->windowTitle(), QStringLiteral("Result"));
    EXPECT_EQ(result->size(), QSize(312, 213));
    QPlainTextEdit *txt = result->txtResult;
    ASSERT_NE(txt, nullptr);
    EXPECT_EQ(txt->objectName(), QStringLiteral("txtResult"));
    EXPECT_EQ(txt->property("tabIndex").toInt(), 0);
    EXPECT_TRUE(txt->toPlainText().isEmpty());
    EXPECT_EQ(txt->font().family(), msGothic);
    EXPECT_DOUBLE_EQ(txt->font().pointSizeF(), 9.75);
    EXPECT_EQ(txt->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(txt->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(txt->lineWrapMode(), QPlainTextEdit::NoWrap) << "report lines keep their layout";

    result->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(result->size(), QSize(312, 213));
    EXPECT_EQ(txt->geometry(), QRect(0, 0, 312, 213)) << "the text box fills the window once shown";
    result->close();
}

TEST_F(Layout, StartAnswersAltS)
{
    EXPECT_EQ(form->cmdStart->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));

    load();
    showSettings();
    form->chkHidden->setFocus();
    // Any round the click starts ends at once.
    pf.onYield = [this] { form->Form_KeyDown(27, 0); };
    int clicks = 0;
    QObject::connect(form->cmdStart, &QPushButton::clicked, [&] { ++clicks; });
    QWindow *win = form->windowHandle();
    qt_handleKeyEvent(win, QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
    qt_handleKeyEvent(win, QEvent::KeyPress, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    qt_handleKeyEvent(win, QEvent::KeyRelease, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    qt_handleKeyEvent(win, QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    // A shortcut presses the button and lets it go a moment later.
    for (int i = 0; i < 400 && clicks == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(pf.recorder().count(QStringLiteral("ready.wav")), 1) << "the click ran a round";
}

TEST_F(Layout, JapaneseCaptionsHaveRealGlyphs)
{
    for (QLabel *cap : form->lblCap) {
        const QFont f = cap->font();
        const QString family = QFontInfo(f).family();
        SCOPED_TRACE(family.toStdString());
        EXPECT_TRUE(QFontDatabase::families().contains(family));
        const QRawFont raw = QRawFont::fromFont(f);
        ASSERT_TRUE(raw.isValid());
        const QFontMetrics fm(f);
        for (const QChar ch : QStringLiteral("文字数：速度：")) {
            EXPECT_TRUE(fm.inFont(ch)) << "U+" << std::hex << int(ch.unicode());
            EXPECT_TRUE(raw.supportsCharacter(ch)) << "U+" << std::hex << int(ch.unicode());
        }
    }
    EXPECT_EQ(form->lblCap[0]->text(), QStringLiteral("文字数："));
    EXPECT_EQ(form->lblCap[1]->text(), QStringLiteral("速度："));
}

TEST(Fonts, EveryDesignFaceResolvesToAnInstalledFamily)
{
    const QStringList installed = QFontDatabase::families();
    std::set<QString> faces;
    for (const auto &entry : faceSubstitutions()) {
        faces.insert(entry.face);
        const QString family = resolvedFamily(entry.face);
        SCOPED_TRACE(entry.face.toStdString() + " -> " + family.toStdString());
        EXPECT_TRUE(installed.contains(family));
        bool anyCandidate = false;
        for (const auto &c : entry.candidates)
            anyCandidate = anyCandidate || installed.contains(c);
        if (anyCandidate) {
            EXPECT_TRUE(entry.candidates.contains(family, Qt::CaseInsensitive)) << "a stand-in, not Qt's guess";
        }
    }
    for (const char *face : {"Times New Roman", "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "Arial", "Impact"})
        EXPECT_TRUE(faces.count(QString::fromUtf8(face))) << face;
    EXPECT_TRUE(installed.contains(resolvedFamily(QStringLiteral("No Such Face At All"))));
}

TEST_F(Layout, SpinnerArrowsStepTheValueAndTheShownNumberToTheLimits)
{
    struct Case {
        Spinner *spinner;
        QLabel *label;
        int offset; // the shown number is offset − Value
        int min, max;
    };
    const std::vector<Case> cases = {
        {form->vsNt, form->lblnumTxts, 110, 10, 100},
        {form->vsnS, form->lblnSpd, 105, 5, 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.spinner->objectName().toStdString());
        const int start = c.spinner->value();
        clickPart(c.spinner, Spinner::Part::Up);
        EXPECT_EQ(c.spinner->value(), start - 1);
        EXPECT_EQ(c.label->text(), QString::number(c.offset - start + 1)) << "the upper arrow raises the number";
        clickPart(c.spinner, Spinner::Part::Down);
        EXPECT_EQ(c.spinner->value(), start);
        EXPECT_EQ(c.label->text(), QString::number(c.offset - start));

        for (int i = 0; i < 120; ++i)
            clickPart(c.spinner, Spinner::Part::Up);
        EXPECT_EQ(c.spinner->value(), c.min);
        EXPECT_EQ(c.label->text(), QString::number(c.offset - c.min));
        for (int i = 0; i < 120; ++i)
            clickPart(c.spinner, Spinner::Part::Down);
        EXPECT_EQ(c.spinner->value(), c.max);
        EXPECT_EQ(c.label->text(), QString::number(c.offset - c.max));
    }
    EXPECT_EQ(form->rs.charCount, 10);
    EXPECT_EQ(form->rs.speedSetting, 5);
}

TEST_F(Layout, SpinnerStepsOncePerClickThroughTheWindowSystem)
{
    showSettings();
    Spinner *s = form->vsNt;
    QWindow *win = form->windowHandle();
    int timestamp = 1000;
    // Quick clicks at one spot count as double clicks: each must still step exactly once.
    const auto click = [&](Spinner::Part part) {
        const QPointF local = QPointF(s->mapTo(form.get(), s->partRect(part).center()));
        const QPointF global = QPointF(form->mapToGlobal(local.toPoint()));
        qt_handleMouseEvent(win, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                            Qt::NoModifier, timestamp += 20);
        qt_handleMouseEvent(win, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                            Qt::NoModifier, timestamp += 20);
        QCoreApplication::processEvents();
    };
    const int start = s->value();
    for (int i = 1; i <= 6; ++i) {
        click(Spinner::Part::Up);
        EXPECT_EQ(s->value(), start - i) << "after click " << i;
    }
    EXPECT_EQ(form->lblnumTxts->text(), QString::number(110 - start + 6));
    timestamp += 5000;
    for (int i = 1; i <= 3; ++i) {
        click(Spinner::Part::Down);
        EXPECT_EQ(s->value(), start - 6 + i) << "after click " << i;
    }
}

TEST_F(Layout, HiddenPositionBarStepsByOneAndByTwentyWithMouseAndKeys)
{
    showSettings();
    QScrollBar *bar = form->hscHidP;
    QWindow *win = form->windowHandle();
    int timestamp = 100000;
    const auto clickAt = [&](QPoint at) {
        const QPointF local = QPointF(bar->mapTo(form.get(), at));
        const QPointF global = QPointF(form->mapToGlobal(local.toPoint()));
        qt_handleMouseEvent(win, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                            Qt::NoModifier, timestamp += 1000);
        qt_handleMouseEvent(win, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                            Qt::NoModifier, timestamp += 20);
        QCoreApplication::processEvents();
    };
    const auto partRect = [&](QStyle::SubControl part) { return scrollBarPart(*bar, part); };

    clickAt(partRect(QStyle::SC_ScrollBarAddLine).center());
    EXPECT_EQ(bar->value(), 11) << "arrow";
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("11"));
    clickAt(partRect(QStyle::SC_ScrollBarAddPage).center());
    EXPECT_EQ(bar->value(), 31) << "track";
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("31"));
    clickAt(partRect(QStyle::SC_ScrollBarSubLine).center());
    EXPECT_EQ(bar->value(), 30);

    // Reached with Tab like any tab stop, then the arrow and page keys.
    bar->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(bar->hasFocus());
    const auto key = [&](int k) {
        qt_handleKeyEvent(win, QEvent::KeyPress, k, Qt::NoModifier);
        qt_handleKeyEvent(win, QEvent::KeyRelease, k, Qt::NoModifier);
        QCoreApplication::processEvents();
    };
    key(Qt::Key_Right);
    EXPECT_EQ(bar->value(), 31);
    key(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 51);
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), 90);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("90"));
    key(Qt::Key_Left);
    EXPECT_EQ(bar->value(), 89);
    key(Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 69);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("69"));
}

TEST_F(Layout, SpinnerPaintsTwoArrowButtonsInEveryStyle)
{
    showSettings();
    struct StyleCase {
        QString name;
        std::unique_ptr<QStyle> style;
    };
    std::vector<StyleCase> styles;
    styles.push_back({QStringLiteral("application default"), nullptr});
    for (const char *name : {"fusion", "windows"})
        styles.push_back({QString::fromLatin1(name), std::unique_ptr<QStyle>(QStyleFactory::create(QString::fromLatin1(name)))});

    for (const auto &sc : styles) {
        SCOPED_TRACE(sc.name.toStdString());
        if (sc.name != QStringLiteral("application default")) {
            ASSERT_TRUE(sc.style) << "style not available";
        }
        for (Spinner *s : {form->vsNt, form->vsnS}) {
            s->setStyle(sc.style.get());
            // At a limit one arrow is greyed out but still drawn.
            for (const int value : {s->minimum(), (s->minimum() + s->maximum()) / 2, s->maximum()}) {
                s->setValue(value);
                const QImage img = s->grab().toImage().convertToFormat(QImage::Format_RGB32);
                ASSERT_EQ(img.size(), QSize(16, 16) * img.devicePixelRatio());
                const auto colours = [&](int y0, int y1) {
                    std::set<QRgb> seen;
                    for (int y = y0; y < y1; ++y)
                        for (int x = 0; x < img.width(); ++x)
                            seen.insert(img.pixel(x, y));
                    return seen.size();
                };
                const int h = img.height();
                EXPECT_GE(colours(0, h / 2), 3u) << "upper button, value " << value;
                EXPECT_GE(colours(h / 2, h), 3u) << "lower button, value " << value;
                // The two buttons point opposite ways, so they are not the same picture.
                bool same = true;
                for (int y = 0; y < h / 2 && same; ++y)
                    for (int x = 0; x < img.width() && same; ++x)
                        same = img.pixel(x, y) == img.pixel(x, y + h / 2);
                EXPECT_FALSE(same) << "value " << value;
            }
            s->setStyle(nullptr);
        }
    }
}

} // namespace
} // namespace vx::test

namespace vx::test {
namespace {

TEST(SpinnerHold, ASpinnerHiddenOrDisabledWhileHeldStopsRepeating)
{
    for (const bool hide : {true, false}) {
        SCOPED_TRACE(hide ? "the frame hidden" : "the spinner disabled");
        // Its repeat, in view.
        struct HeldSpinner : Spinner {
            using Spinner::Spinner;
            using QAbstractSlider::repeatAction;
        };
        QWidget frame;
        frame.resize(40, 40);
        auto *spinner = new HeldSpinner(&frame);
        spinner->setGeometry(0, 0, 16, 16);
        spinner->setRange(10, 100);
        spinner->setValue(80);
        frame.show();
        QCoreApplication::processEvents();

        const QPointF up = spinner->partRect(Spinner::Part::Up).center();
        QMouseEvent press(QEvent::MouseButtonPress, up, spinner->mapToGlobal(up), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(spinner, &press);
        ASSERT_EQ(spinner->value(), 79);
        ASSERT_NE(spinner->repeatAction(), QAbstractSlider::SliderNoAction) << "held, it repeats";

        if (hide)
            frame.hide();
        else
            spinner->setEnabled(false);
        EXPECT_EQ(spinner->repeatAction(), QAbstractSlider::SliderNoAction);
        // Longer than the repeat's first delay: nothing moves any more.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 700)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(spinner->value(), 79);
        // Shown or enabled again, it does not pick the repeat up.
        frame.show();
        spinner->setEnabled(true);
        QCoreApplication::processEvents();
        EXPECT_EQ(spinner->repeatAction(), QAbstractSlider::SliderNoAction);
    }
}

} // namespace
} // namespace vx::test
