#include "fake/GameFixture.h"
#include "present/NumberFormat.h"
#include "results/Report.h"
#include "results/RoundEndSupport.h"
#include "results/frmResult.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimeZone>
#include <QWindow>

#include <gtest/gtest.h>

namespace vx::test {
namespace {

bool cLocale() { return QLocale::system().language() == QLocale::C; }

// ---------------------------------------------------------------------------
// The date line

TEST(ReportDateLine, PlainLocaleWritesYearMonthDayAnd24HourTime)
{
    if (!cLocale())
        GTEST_SKIP() << "the system locale has its own formats (" << QLocale::system().name().toStdString() << ")";
    struct Case {
        QDateTime when;
        const char *text;
    };
    const std::vector<Case> cases = {
        {QDateTime(QDate(2026, 12, 8), QTime(21, 14, 5)), "2026/12/08 21:14:05"},
        {QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)), "2027/01/02 03:04:05"},
        {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)), "2026/12/31 23:59:59"},
        {QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)), "2026/12/08 00:00:01"},
        // Midnight exactly writes only the date.
        {QDateTime(QDate(2026, 12, 9), QTime(0, 0)), "2026/12/09"},
        // The clock line counts whole seconds: the whole first second of the day is midnight.
        {QDateTime(QDate(2026, 12, 9), QTime(0, 0, 0, 500)), "2026/12/09"},
        {QDateTime(QDate(2026, 12, 9), QTime(21, 14, 5, 999)), "2026/12/09 21:14:05"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(report::dateTimeText(c.when), QString::fromLatin1(c.text)) << c.text;
}

TEST(ReportDateLine, AnyLocaleWritesDateThenTimeAndOnlyTheDateAtMidnight)
{
    const QDate day(2026, 12, 8);
    const QString evening = report::dateTimeText(QDateTime(day, QTime(21, 14, 5)));
    const QString midnight = report::dateTimeText(QDateTime(day, QTime(0, 0)));
    EXPECT_EQ(report::dateTimeText(QDateTime(day, QTime(0, 0, 0, 999))), midnight);

    EXPECT_FALSE(midnight.isEmpty());
    EXPECT_TRUE(evening.startsWith(midnight + QLatin1Char(' '))) << evening.toStdString();
    EXPECT_FALSE(midnight.contains(QStringLiteral("00:00"))) << midnight.toStdString();
    // The clock line never carries a zone name, nor stray blanks.
    const QDateTime when(day, QTime(21, 14, 5));
    const QString zone = when.timeZoneAbbreviation();
    if (!zone.isEmpty()) {
        EXPECT_FALSE(evening.contains(zone)) << evening.toStdString();
    }
    EXPECT_EQ(evening, evening.trimmed());
    EXPECT_FALSE(evening.contains(QStringLiteral("  ")));
    EXPECT_FALSE(evening.contains(QLatin1Char('\r')) || evening.contains(QLatin1Char('\n')));
    if (cLocale()) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$")).match(evening).hasMatch());
    }
}

TEST(ReportDateLine, EveryLocaleWritesAWellFormedLine)
{
    // A zone with a name of its own and a time of day late enough for an AM/PM marker.
    const QDateTime when(QDate(2026, 12, 10), QTime(14, 37, 52), QTimeZone(QByteArrayLiteral("Europe/Madrid")));
    ASSERT_TRUE(when.isValid());
    const QString zone = when.timeZoneAbbreviation();
    const QList<QLocale> all = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(all.size(), 100);
    int malformed = 0;
    for (const QLocale &locale : all) {
        const QString line = report::dateTimeText(when, locale);
        const QString date = locale.toString(when.date(), QLocale::ShortFormat);
        const bool plain = locale.language() == QLocale::C;
        QStringList faults;
        if (!plain && !line.startsWith(date + QLatin1Char(' ')))
            faults << QStringLiteral("not the short date and one blank");
        const QString time = line.mid(line.indexOf(QLatin1Char(' ')) + 1);
        if (time.isEmpty() || time != time.trimmed() || line.contains(QStringLiteral("  ")))
            faults << QStringLiteral("stray blanks");
        if (time.endsWith(QLatin1Char(',')) || time.startsWith(QLatin1Char(',')))
            faults << QStringLiteral("a comma left over");
        for (const char *empty : {"()", "[]", "（）", "( )", "[ ]"})
            if (line.contains(QString::fromUtf8(empty)))
                faults << QStringLiteral("empty brackets");
        if (!zone.isEmpty() && line.contains(zone))
            faults << QStringLiteral("the zone's name");
        if (QRegularExpression(QStringLiteral("B\\d")).match(time).hasMatch())
            faults << QStringLiteral("a day period Qt cannot write");
        // The seconds are there, in the locale's digits.
        if (!time.contains(locale.toString(52)))
            faults << QStringLiteral("no seconds");
        if (!faults.isEmpty()) {
            ++malformed;
            ADD_FAILURE() << locale.name().toStdString() << ": \"" << line.toStdString() << "\": "
                          << faults.join(QStringLiteral(", ")).toStdString();
        }
    }
    EXPECT_EQ(malformed, 0) << "of " << all.size() << " locales";
}

TEST(ReportDateLine, TheClockFormatKeepsWhatTheLocaleWritesAroundTheTime)
{
    struct Case {
        const char *longFormat;
        const char *clock;
    };
    const std::vector<Case> cases = {
        {"HH:mm:ss t", "HH:mm:ss"},
        {"H:mm:ss (t)", "H:mm:ss"},
        {"Bh:mm:ss [t]", "APh:mm:ss"},
        {"h:mm:ss AP, t", "h:mm:ss AP"},
        {"t HH:mm:ss", "HH:mm:ss"},
        {"H:mm:ss 'ч'. t", "H:mm:ss 'ч'."},
        {"'Klock' H.mm:ss (t)", "'Klock' H.mm:ss"},
        {"H 'h' mm 'min' ss 's' t", "H 'h' mm 'min' ss 's'"},
        {"H時mm分ss秒 t", "H時mm分ss秒"},
        {"'it''s' HH:mm", "'it''s' HH:mm"},
        {"HH:mm:ss", "HH:mm:ss"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(report::clockTimeFormat(QString::fromUtf8(c.longFormat)), QString::fromUtf8(c.clock)) << c.longFormat;
}

// ---------------------------------------------------------------------------
// Whole reports, from the round end

class ReportTest : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        load();
    }

    // Runs the round end and remembers when it started (the time line 2 is taken from).
    void finish(const Outcome &o)
    {
        startedAt = pf.now();
        finishRound(*form, o);
    }

    QDateTime startedAt;
};

TEST_F(ReportTest, WorkedExampleLineForLine)
{
    // 187,400 points with 20 Perfect, 8 Great and 2 Good is not reachable by real keys (the
    // judgements give 12,600 and every combo bonus is a multiple of 1,000), so the state is
    // set as play would leave it.
    const QDateTime at(QDate(2026, 12, 8), QTime(21, 14, 5));
    pf.clockTime = at.addMSecs(-static_cast<qint64>(pf.micros() / 1000));
    ASSERT_TRUE(form->resultWindow.isNull());
    ASSERT_EQ(form->rs.charCount, 30);
    ASSERT_EQ(form->rs.speedSetting, 30);
    ASSERT_FALSE(form->chkHidden->isChecked());
    ASSERT_EQ(form->lblhid->text(), QStringLiteral("10"));

    finish({.cleared = true, .perfect = 20, .great = 8, .good = 2, .miss = 0, .maxCombo = 18, .gauge = 20,
            .hitCount = 30, .missTotal = 0, .carried = 187400});

    ASSERT_FALSE(form->resultWindow.isNull());
    EXPECT_EQ(startedAt, at);
    const QString expected = QStringLiteral("VX-Clackon! Result\r\n") + report::dateTimeText(at)
        + QStringLiteral("\r\n"
                         "Num:30\r\n"
                         "Spd:30\r\n"
                         "[Normal]10\r\n"
                         "- CLEARED -\r\n"
                         "Perfect\t20\r\n"
                         "Great\t8\r\n"
                         "Good\t2\r\n"
                         "Miss\t0\r\n"
                         "MaxComb\t18\tx 100pts = 1,800\r\n"
                         "Gauge\t20\tx 100pts = 2,000\r\n"
                         "Perfect\t1,000\r\n"
                         "Total\t192,200pts\r\n"
                         "\r\n");
    EXPECT_EQ(form->resultWindow->text(), expected);
    if (cLocale()) {
        EXPECT_EQ(reportLines(form->resultWindow->text()).value(1), QStringLiteral("2026/12/08 21:14:05"));
    }
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 192,200"));
}

TEST_F(ReportTest, LinesFollowTheRoundAsItEnded)
{
    struct Case {
        const char *name;
        Outcome outcome;
        bool hidden;
        int hiddenPosition;
        std::vector<QString> lines; // the whole report but line 2
    };
    const std::vector<Case> cases = {
        {"cleared with one miss: no perfect line",
         {.cleared = true, .perfect = 29, .miss = 1, .maxCombo = 12, .gauge = 7, .hitCount = 30, .missTotal = 1, .carried = 5000},
         false, 10,
         {"VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]10", "- CLEARED -", "Perfect\t29", "Great\t0", "Good\t0",
          "Miss\t1", "MaxComb\t12\tx 100pts = 1,200", "Gauge\t7\tx 100pts = 700", "Total\t6,900pts"}},
        {"failed in hidden mode at 50",
         {.cleared = false, .perfect = 3, .great = 1, .good = 1, .maxCombo = 4, .gauge = 4, .hitCount = 5, .carried = 3000},
         true, 50,
         {"VX-Clackon! Result", "Num:30", "Spd:30", "[Hidden]50", "- FAILURE -", "Perfect\t3", "Great\t1", "Good\t1",
          "Miss\t0", "MaxComb\t4\tx 100pts = 400", "Gauge\t4\tx 100pts = 400", "Total\t3,800pts"}},
        {"hidden off still writes the width setting",
         {.cleared = false, .miss = 5, .missTotal = 5}, false, 90,
         {"VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]90", "- FAILURE -", "Perfect\t0", "Great\t0", "Good\t0",
          "Miss\t5", "MaxComb\t0\tx 100pts = 0", "Gauge\t0\tx 100pts = 0", "Total\t0pts"}},
        {"negative gauge at the tally",
         {.cleared = false, .perfect = 2, .miss = 7, .maxCombo = 2, .gauge = -2, .hitCount = 2, .missTotal = 7, .carried = 1000},
         false, 10,
         {"VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]10", "- FAILURE -", "Perfect\t2", "Great\t0", "Good\t0",
          "Miss\t7", "MaxComb\t2\tx 100pts = 200", "Gauge\t-2\tx 100pts = -200", "Total\t1,200pts"}},
        {"large total groups thousands",
         {.cleared = true, .perfect = 30, .maxCombo = 30, .gauge = 20, .hitCount = 30, .carried = 1'229'999.5},
         false, 10,
         {"VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]10", "- CLEARED -", "Perfect\t30", "Great\t0", "Good\t0",
          "Miss\t0", "MaxComb\t30\tx 100pts = 3,000", "Gauge\t20\tx 100pts = 2,000", "Perfect\t1,000",
          "Total\t1,236,000pts"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (form->resultWindow) {
            form->resultWindow->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        form->chkHidden->setChecked(c.hidden);
        form->hscHidP->setValue(c.hiddenPosition);
        ASSERT_EQ(form->lblhid->text(), QString::number(c.hiddenPosition));

        finish(c.outcome);

        ASSERT_FALSE(form->resultWindow.isNull());
        const QString text = form->resultWindow->text();
        EXPECT_TRUE(text.endsWith(QStringLiteral("pts\r\n\r\n")));
        QStringList lines = reportLines(text);
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines[1], report::dateTimeText(startedAt));
        lines.removeAt(1);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.takeLast(), QString()); // the empty line after the report
        EXPECT_EQ(lines, QStringList(c.lines.begin(), c.lines.end()));
        // No field separators beyond single tabs, no blanks at the ends of lines.
        for (const QString &l : lines) {
            EXPECT_FALSE(l.contains(QStringLiteral("\t\t"))) << l.toStdString();
            EXPECT_EQ(l, l.trimmed()) << l.toStdString();
        }
    }
}

TEST_F(ReportTest, NewReportsStackOnTopNewestFirst)
{
    QString earlier;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        finish({.cleared = round != 2, .perfect = static_cast<std::int16_t>(round), .hitCount = static_cast<std::int16_t>(round),
                .carried = 1000.0 * round});
        ASSERT_FALSE(form->resultWindow.isNull());
        const QString all = form->resultWindow->text();
        // The older reports stay exactly as they were, below the new one and its empty line.
        ASSERT_TRUE(all.endsWith(earlier));
        const QString added = all.left(all.size() - earlier.size());
        EXPECT_EQ(added, newestReport(*form));
        EXPECT_TRUE(added.startsWith(QStringLiteral("VX-Clackon! Result\r\n")));
        EXPECT_TRUE(added.endsWith(QStringLiteral("Total\t") + formatGrouped(1000.0 * round) + QStringLiteral("pts\r\n\r\n")));
        EXPECT_TRUE(added.contains(round == 2 ? QStringLiteral("\r\n- FAILURE -\r\n") : QStringLiteral("\r\n- CLEARED -\r\n")));
        EXPECT_EQ(added.count(QStringLiteral("VX-Clackon! Result")), 1);
        earlier = all;
    }
    EXPECT_EQ(earlier.count(QStringLiteral("VX-Clackon! Result")), 3);
    const QStringList lines = reportLines(earlier);
    // Three reports of fourteen lines less the absent perfect line, each followed by one empty line.
    ASSERT_EQ(lines.size(), 3 * (13 + 1));
    for (int i : {13, 27, 41})
        EXPECT_EQ(lines[i], QString()) << i;
    EXPECT_EQ(lines[12], QStringLiteral("Total\t3,000pts"));
    EXPECT_EQ(lines[26], QStringLiteral("Total\t2,000pts"));
    EXPECT_EQ(lines[40], QStringLiteral("Total\t1,000pts"));
}

TEST_F(ReportTest, ClosingTheWindowDropsTheHistoryAndTheNextReportStartsANewOne)
{
    finish({.carried = 111});
    finish({.carried = 222});
    ASSERT_FALSE(form->resultWindow.isNull());
    QPointer<frmResult> first = form->resultWindow;
    EXPECT_EQ(first->text().count(QStringLiteral("VX-Clackon! Result")), 2);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_EQ(first->parentWidget(), form.get());
    EXPECT_FALSE(first->isModal());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(form->resultWindow.isNull());
    // Closing the result window is not a close request of the game.
    EXPECT_TRUE(form->isVisible());

    finish({.carried = 333});
    ASSERT_FALSE(form->resultWindow.isNull());
    const QString text = form->resultWindow->text();
    EXPECT_EQ(text, newestReport(*form));
    EXPECT_EQ(text.count(QStringLiteral("VX-Clackon! Result")), 1);
    EXPECT_TRUE(text.endsWith(QStringLiteral("Total\t333pts\r\n\r\n")));
    EXPECT_TRUE(form->resultWindow->isVisible());
}

TEST_F(ReportTest, AReportIsNeverLostToACloseThePlayerMadeBeforeIt)
{
    const QString first = report::outcomeLine(true);
    const QString second = report::outcomeLine(false);
    form->publishReport(first);
    QPointer<frmResult> old = form->resultWindow;
    ASSERT_FALSE(old.isNull());
    ASSERT_NE(old->windowHandle(), nullptr);
    // The player closed the window a moment ago; the request still waits in the queue.
    QCoreApplication::postEvent(old->windowHandle(), new QCloseEvent);

    form->publishReport(second);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(form->resultWindow.isNull()) << "the new report went down with the closed window";
    EXPECT_NE(form->resultWindow, old);
    EXPECT_TRUE(form->resultWindow->isVisible());
    EXPECT_EQ(form->resultWindow->text(), second + QStringLiteral("\r\n")) << "the history starts again";
}

TEST_F(ReportTest, TheBoxIsEditableAndTheNextReportStacksOnWhatItHolds)
{
    finish({.carried = 111});
    QPointer<frmResult> w = form->resultWindow;
    ASSERT_FALSE(w.isNull());
    EXPECT_FALSE(w->txtResult->isReadOnly());
    // The player keeps a note above the report and deletes the rest.
    w->txtResult->setPlainText(QStringLiteral("my best so far\nkeep going"));
    finish({.carried = 222});
    ASSERT_EQ(form->resultWindow, w);
    // The newest report ends with the blank line that parts it from what came before.
    EXPECT_EQ(w->text(), newestReport(*form) + QStringLiteral("my best so far\r\nkeep going\r\n"));

    w->txtResult->clear();
    finish({.carried = 333});
    EXPECT_EQ(w->text(), newestReport(*form)) << "an emptied box holds nothing to stack on";
}

TEST_F(ReportTest, AWholeReportReadsWithoutScrollingAtTheDesignedSize)
{
    finish({.perfect = 30, .maxCombo = 30, .gauge = 20, .hitCount = 30, .carried = 187400});
    QPointer<frmResult> w = form->resultWindow;
    ASSERT_FALSE(w.isNull());
    QCoreApplication::processEvents();
    ASSERT_EQ(w->size(), QSize(312, 213));
    const QStringList lines = reportLines(w->text());
    ASSERT_GE(lines.size(), 14);
    const QTextBlock last = w->txtResult->document()->findBlockByNumber(13);
    ASSERT_EQ(last.text(), lines.value(13));
    QTextCursor at(last);
    at.movePosition(QTextCursor::EndOfBlock);
    EXPECT_LE(w->txtResult->cursorRect(at).bottom(), w->txtResult->viewport()->height() - 1)
        << "the report's last line lies below the box's visible part";
}

TEST_F(ReportTest, TheBoxShowsTheReportAndKeepsItsTextExactly)
{
    finish({.perfect = 1, .hitCount = 1, .carried = 500});
    finish({.cleared = false, .miss = 5, .missTotal = 5});
    ASSERT_FALSE(form->resultWindow.isNull());
    const QString text = form->resultWindow->text();
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), text.count(QLatin1Char('\n')));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), text.count(QLatin1Char('\r')));
    // What the player sees is those lines, one per text line.
    const QStringList shown = form->resultWindow->txtResult->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(shown, reportLines(text));
}

TEST_F(ReportTest, TextBoxFillsTheWindowAtAnySize)
{
    finish({});
    QPointer<frmResult> w = form->resultWindow;
    ASSERT_FALSE(w.isNull());
    QCoreApplication::processEvents();
    // Already when first shown.
    EXPECT_EQ(w->txtResult->geometry(), QRect(QPoint(0, 0), w->size()));

    const std::vector<QSize> sizes = {{640, 480}, {200, 100}, {1000, 60}, {90, 700}, {312, 213}, {401, 301}};
    for (const QSize &s : sizes) {
        SCOPED_TRACE(testing::Message() << s.width() << "x" << s.height());
        w->resize(s);
        QCoreApplication::processEvents();
        EXPECT_EQ(w->txtResult->pos(), QPoint(0, 0));
        EXPECT_EQ(w->txtResult->size(), w->size());
        EXPECT_EQ(w->txtResult->size(), w->rect().size());
    }

    // Still so after another report is put on top.
    finish({});
    QCoreApplication::processEvents();
    EXPECT_EQ(form->resultWindow, w);
    EXPECT_EQ(w->txtResult->geometry(), QRect(QPoint(0, 0), w->size()));
}

} // namespace
} // namespace vx::test
