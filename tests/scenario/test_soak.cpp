// A thousand rounds in one process: random settings, random players (right keys, wrong keys,
// any character at all, Esc, bursts and pauses), and after every round the record, the window
// and the report as a finished round leaves them. Memory must not creep up from round to round.

#include "fake/GameFixture.h"
#include "present/NumberFormat.h"
#include "present/Spinner.h"
#include "results/RoundEndSupport.h"
#include "results/frmResult.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <unistd.h>

namespace vx::test {
namespace {

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The round record's standing rules; empty when they hold.
std::string brokenInvariant(const RoundState &rs)
{
    if (rs.hitCount != rs.perfectCount + rs.greatCount + rs.goodCount)
        return "hitCount " + std::to_string(rs.hitCount) + " is not the sum of the hit counts";
    if (rs.missTotal != rs.missCount)
        return "missTotal " + std::to_string(rs.missTotal) + " differs from missCount " + std::to_string(rs.missCount);
    if (rs.combo > rs.maxCombo)
        return "combo " + std::to_string(rs.combo) + " above maxCombo " + std::to_string(rs.maxCombo);
    if (rs.gauge > 20)
        return "gauge " + std::to_string(rs.gauge) + " above 20";
    return {};
}

// A player with a temper of its own each round: how fast, how careless, how often it pauses.
class RandomPlayer {
public:
    RandomPlayer(FakePlatform &pf, frmClackon &form, std::mt19937_64 &gen)
        : pf_(pf)
        , form_(form)
        , gen_(gen)
    {
        const int temper = pick(0, 99);
        if (temper < 15) {
            // Careful: never a wrong key, so now and then a perfect round.
            interval_ = pick(1, 6);
            burstPercent_ = pick(0, 15);
            slips_ = false;
            pausePercent_ = pick(0, 2);
        } else if (temper < 35) {
            // Slow: the line reaches the edge, the gauge buys it back or the round fails.
            interval_ = pick(8, 25);
            wrongPercent_ = pick(0, 20);
            oddPercent_ = pick(0, 5);
            burstPercent_ = pick(0, 10);
            pausePercent_ = pick(0, 5);
        } else {
            interval_ = pick(1, 10);
            wrongPercent_ = pick(0, 30);
            oddPercent_ = pick(0, 8);
            burstPercent_ = pick(0, 15);
            pausePercent_ = pick(0, 3);
        }
        // Now and then a player gives up with Esc somewhere in the round.
        escAtYield_ = pick(0, 99) < 6 ? pick(20, 600) : -1;
    }

    void atYield()
    {
        ++yield_;
        if (yield_ == escAtYield_) {
            pf_.keyAt(pf_.tickCount(), Qt::Key_Escape);
            escaped = form_.rs.isPlaying;
            return;
        }
        if (pf_.micros() < pausedUntil_ || yield_ % interval_ != 0)
            return;
        if (pick(0, 99) < pausePercent_) {
            // Long enough for Great, Good and the combo break.
            pausedUntil_ = pf_.micros() + static_cast<std::uint64_t>(pick(300, 4000)) * 1000;
            return;
        }
        // Typed with nothing left to type, a key is a miss; the careful player waits for the total instead.
        if (!slips_ && form_.rs.targetText.isEmpty())
            return;
        pf_.typeAt(pf_.tickCount(), nextText());
    }

    bool escaped = false; // Esc came while judging was on

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }

    QString expected(int ahead) const { return form_.rs.targetText.mid(ahead, 1); }

    QString rowChar()
    {
        static const QString all = QStringLiteral("1234567890-^\\QWERTYUIOP@[ASDFGHJKL;:]ZXCVBNM,./_");
        return all.mid(pick(0, static_cast<int>(all.size()) - 1), 1);
    }

    QString oddChar()
    {
        static const std::vector<char32_t> odd = {U' ', U'\r', U'\t', U'\b', U'\x7f', U'ß', U'ı', U'ǅ', U'あ', U'ア',
                                                  U'漢', U'\u0301', U'\u200b', U'\uFFFD', U'\U0001F600', U'\U00010400'};
        char32_t c = 0;
        if (pick(0, 1) == 0) {
            c = odd[static_cast<std::size_t>(pick(0, static_cast<int>(odd.size()) - 1))];
        } else {
            do
                c = static_cast<char32_t>(pick(0x20, 0x10FFFF));
            while (c >= 0xD800 && c <= 0xDFFF);
        }
        return QString::fromUcs4(&c, 1);
    }

    QString nextText()
    {
        const int roll = pick(0, 99);
        if (roll < oddPercent_)
            return oddChar();
        if (roll < oddPercent_ + wrongPercent_)
            return rowChar();
        if (roll < oddPercent_ + wrongPercent_ + burstPercent_) {
            // Several keys in one go, now and then with a slip among them.
            QString burst;
            const int n = pick(2, 8);
            for (int i = 0; i < n; ++i)
                burst += slips_ && pick(0, 9) == 0 ? rowChar() : expected(i);
            return burst.isEmpty() ? rowChar() : burst;
        }
        const QString c = expected(0);
        if (c.isEmpty())
            return rowChar();
        return pick(0, 3) == 0 ? c.toLower() : c;
    }

    FakePlatform &pf_;
    frmClackon &form_;
    std::mt19937_64 &gen_;
    int interval_ = 1;
    int wrongPercent_ = 0;
    int oddPercent_ = 0;
    int burstPercent_ = 0;
    int pausePercent_ = 0;
    bool slips_ = true;
    int escAtYield_ = -1;
    int yield_ = 0;
    std::uint64_t pausedUntil_ = 0;
};

// What the round end left behind, compared with the record and the cues of the round.
void checkFinishedRound(frmClackon &form, const RecordingSound &sound, double totalAtOutcome, int n, int speed,
                        bool hidden, int position)
{
    const RoundState &rs = form.rs;
    EXPECT_EQ(brokenInvariant(rs), "");
    EXPECT_TRUE(rs.targetText.isEmpty());
    EXPECT_EQ(rs.gauge, 0);
    EXPECT_FALSE(rs.isPlaying);
    EXPECT_TRUE(form.frSetting->isVisible());
    EXPECT_TRUE(form.cmdStart->isVisible());
    EXPECT_FALSE(form.picTxt->isVisible());
    EXPECT_FALSE(form.picPTS->isVisible());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Total : ") + formatGrouped(rs.shownScore));

    ASSERT_FALSE(form.resultWindow.isNull());
    const QStringList lines = reportLines(newestReport(form));
    ASSERT_GE(lines.size(), 14);
    EXPECT_EQ(lines.last(), QString()); // the empty line after every report
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Total\t") + formatGrouped(rs.shownScore) + QStringLiteral("pts"));
    EXPECT_EQ(lines[2], QStringLiteral("Num:%1").arg(n));
    EXPECT_EQ(lines[3], QStringLiteral("Spd:%1").arg(speed));
    EXPECT_EQ(lines[4], (hidden ? QStringLiteral("[Hidden]") : QStringLiteral("[Normal]")) + QString::number(position));
    EXPECT_EQ(lines[6], QStringLiteral("Perfect\t%1").arg(rs.perfectCount));
    EXPECT_EQ(lines[7], QStringLiteral("Great\t%1").arg(rs.greatCount));
    EXPECT_EQ(lines[8], QStringLiteral("Good\t%1").arg(rs.goodCount));
    EXPECT_EQ(lines[9], QStringLiteral("Miss\t%1").arg(rs.missCount));
    EXPECT_EQ(lines[10], QStringLiteral("MaxComb\t%1\tx 100pts = %2").arg(rs.maxCombo).arg(formatGrouped(rs.maxCombo * 100)));

    // The tally adds exactly its bonuses to what play carried, one click per step.
    const QStringList gaugeLine = lines[11].split(QLatin1Char('\t'));
    ASSERT_EQ(gaugeLine.size(), 3);
    EXPECT_EQ(gaugeLine[0], QStringLiteral("Gauge"));
    const int gauge = gaugeLine[1].toInt();
    const bool perfect = rs.missTotal == 0 && rs.hitCount == rs.charCount;
    EXPECT_EQ(lines.size(), perfect ? 15 : 14);
    if (perfect) {
        EXPECT_EQ(lines[12], QStringLiteral("Perfect\t1,000"));
    }
    EXPECT_NEAR(rs.shownScore, totalAtOutcome + 100.0 * rs.maxCombo + 100.0 * std::max(gauge, 0) + (perfect ? 1000 : 0), 1e-6);
    EXPECT_EQ(sound.count(QStringLiteral("pi.wav")), rs.maxCombo + std::max(gauge, 0));
    const bool cleared = lines[5] == QStringLiteral("- CLEARED -");
    EXPECT_TRUE(cleared || lines[5] == QStringLiteral("- FAILURE -")) << lines[5].toStdString();
    EXPECT_EQ(sound.count(QStringLiteral("cleared.wav")) + sound.count(QStringLiteral("failure.wav")), 1);
    EXPECT_EQ(sound.count(cleared ? QStringLiteral("cleared.wav") : QStringLiteral("failure.wav")), 1);
    EXPECT_EQ(sound.count(QStringLiteral("pts.wav")), 1);
}

class Soak : public GameFixture {};

TEST_F(Soak, AThousandRandomRoundsKeepTheRulesAndTheMemoryFlat)
{
    constexpr int rounds = 1000;
    std::mt19937_64 gen(20261208);
    const auto pick = [&gen](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    // Every redraw pass draws one random number; a step of the re-entry sweep draws none.
    int draws = 0;
    pf.randomOverride = [&gen, &draws] {
        ++draws;
        return std::uniform_real_distribution<double>(0.0, 1.0)(gen);
    };
    load();

    // What the thousand rounds went through, so a quiet soak cannot pass for a thorough one.
    struct {
        int cleared = 0, failed = 0, perfectRounds = 0, escaped = 0, withSweep = 0;
        int great = 0, good = 0, miss = 0, judgedAfterPlay = 0;
    } seen;

    long residentAt100 = 0;
    long residentAtEnd = 0;
    std::string firstBroken;
    int yieldsTotal = 0;
    for (int round = 1; round <= rounds; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        const int n = pick(10, 100);
        const int speed = pick(5, 100);
        const bool hidden = pick(0, 1) == 1;
        const int position = pick(10, 90);
        form->vsNt->setValue(110 - n);
        form->vsnS->setValue(105 - speed);
        form->chkHidden->setChecked(hidden);
        form->hscHidP->setValue(position);
        ASSERT_EQ(form->rs.charCount, n);
        ASSERT_EQ(form->rs.speedSetting, speed);

        RandomPlayer player(pf, *form, gen);
        pf.recorder().requests.clear();
        double totalAtOutcome = -1;
        pf.recorder().clock = [&] {
            // Play has carried everything over by the time the outcome is announced.
            if (totalAtOutcome < 0 && form->rs.score == 0 && !form->picTxt->isVisible()
                && (pf.recorder().count(QStringLiteral("herewego.wav")) > 0))
                totalAtOutcome = form->rs.shownScore;
            return pf.tickCount();
        };
        const int yieldsBefore = pf.yields;
        int lastDraws = draws;
        bool swept = false;
        pf.onYield = [&] {
            if (firstBroken.empty()) {
                const std::string broken = brokenInvariant(form->rs);
                if (!broken.empty())
                    firstBroken = "round " + std::to_string(round) + ": " + broken;
            }
            swept = swept || (form->picTxt->isVisible() && !bannerBusy && draws == lastDraws);
            lastDraws = draws;
            player.atYield();
        };
        pf.clickAt(pf.tickCount(), QStringLiteral("cmdStart"));
        pf.doEvents();
        pf.onYield = nullptr;
        pf.recorder().clock = nullptr;
        yieldsTotal += pf.yields - yieldsBefore;

        ASSERT_FALSE(form->resultWindow.isNull()) << "the click started no round";
        checkFinishedRound(*form, pf.recorder(), totalAtOutcome, n, speed, hidden, position);
        if (HasFailure())
            break;
        const RoundState &rs = form->rs;
        const bool cleared = newestReport(*form).contains(QStringLiteral("- CLEARED -"));
        seen.cleared += cleared;
        seen.failed += !cleared;
        seen.perfectRounds += rs.missTotal == 0 && rs.hitCount == rs.charCount;
        seen.escaped += player.escaped;
        seen.withSweep += swept;
        seen.great += rs.greatCount;
        seen.good += rs.goodCount;
        seen.miss += rs.missCount;
        seen.judgedAfterPlay += rs.score != 0;

        // The player reads the history now and then and closes it.
        if (round % 50 == 0) {
            form->resultWindow->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(form->resultWindow.isNull());
        }
        if (round == 100)
            residentAt100 = residentBytes();
        if (round == rounds)
            residentAtEnd = residentBytes();
    }
    EXPECT_EQ(firstBroken, "");
    EXPECT_GT(seen.cleared, 0);
    EXPECT_GT(seen.failed, 0);
    EXPECT_GT(seen.perfectRounds, 0);
    EXPECT_GT(seen.escaped, 0);
    EXPECT_GT(seen.withSweep, 0);
    EXPECT_GT(seen.great, 0);
    EXPECT_GT(seen.good, 0);
    EXPECT_GT(seen.miss, 0);
    EXPECT_GT(seen.judgedAfterPlay, 0) << "no key was judged during an outcome banner";
    for (const auto &[name, value] : {std::pair{"cleared", seen.cleared}, {"failed", seen.failed},
                                      {"perfectRounds", seen.perfectRounds}, {"escaped", seen.escaped},
                                      {"withSweep", seen.withSweep}, {"great", seen.great}, {"good", seen.good},
                                      {"miss", seen.miss}, {"judgedAfterPlay", seen.judgedAfterPlay}})
        RecordProperty(name, value);
    RecordProperty("yields", yieldsTotal);
    RecordProperty("virtualSeconds", static_cast<int>(pf.micros() / 1'000'000));
    RecordProperty("residentAt100", static_cast<int>(residentAt100 >> 10));
    RecordProperty("residentAtEnd", static_cast<int>(residentAtEnd >> 10));
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so resident size says nothing here;
    // its leak checker watches the same run instead.
    const bool residentMeaningful = false;
#else
    const bool residentMeaningful = true;
#endif
    if (residentMeaningful && !HasFailure()) {
        EXPECT_LT(residentAtEnd - residentAt100, 20L << 20)
            << "resident after round 100: " << residentAt100 << ", after round " << rounds << ": " << residentAtEnd;
    }
}

} // namespace
} // namespace vx::test
