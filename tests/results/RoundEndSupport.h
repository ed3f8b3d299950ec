#pragma once

// Helpers for watching a round end the way the player sees and hears it.

#include "fake/FakePlatform.h"
#include "present/Module1.h"
#include "results/frmResult.h"
#include "round/frmClackon.h"

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <ostream>

// Readable strings in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace vx::test {

inline const QString crlf = QStringLiteral("\r\n");

// The round state as play leaves it, for running the round end on its own.
struct Outcome {
    bool cleared = true;
    std::int16_t perfect = 0;
    std::int16_t great = 0;
    std::int16_t good = 0;
    std::int16_t miss = 0;
    std::int16_t maxCombo = 0;
    std::int16_t gauge = 0;
    std::int16_t hitCount = 0;
    std::int16_t missTotal = 0;
    double carried = 0; // points already in the total when play ended
};

// Sets the round state as play would have left it (strips hidden, nothing pending) and runs the round end.
inline void finishRound(frmClackon &form, const Outcome &o)
{
    RoundState &rs = form.rs;
    rs.targetText = o.cleared ? QString() : QStringLiteral("QWERTY");
    rs.perfectCount = o.perfect;
    rs.greatCount = o.great;
    rs.goodCount = o.good;
    rs.missCount = o.miss;
    rs.maxCombo = o.maxCombo;
    rs.gauge = o.gauge;
    rs.hitCount = o.hitCount;
    rs.missTotal = o.missTotal;
    rs.shownScore = o.carried;
    rs.score = 0;
    rs.isPlaying = false;
    form.picPTS->setVisible(false);
    form.picTxt->setVisible(false);
    form.roundEnd();
}

// The lines of a report text (every line ends with CR LF, so the last split piece is dropped).
inline QStringList reportLines(const QString &text)
{
    QStringList lines = text.split(crlf);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The newest report in the result window, its closing empty line included.
inline QString newestReport(const frmClackon &form)
{
    if (!form.resultWindow)
        return {};
    const QString &all = form.resultWindow->text();
    const auto end = all.indexOf(crlf + crlf);
    return end < 0 ? all : all.left(end + 2 * crlf.size());
}

// Sees every banner and every cue of a round as it happens.
//
// Banners shake by random offsets; while a banner runs the watch hands out 0.5, which
// makes every shake picture the banner's exact resting picture, so a banner can be
// recognised by comparing the screen with its resting picture at each yield.
class RoundWatch {
public:
    struct Sighting {
        QString text;
        std::size_t cuesBefore; // sound requests made before the banner first showed
    };
    struct Cue {
        QImage screen;       // the main window's retained image when the cue was asked for
        Color foreColor = 0; // its drawing colour at that moment
        QString caption;
        bool bannerRunning = false;
        QDateTime at; // the clock
    };

    RoundWatch(FakePlatform &pf, frmClackon &form)
        : pf_(pf)
        , form_(form)
    {
        pf_.randomOverride = [this] {
            if (bannerBusy)
                return 0.5;
            if (outsideBanners)
                return outsideBanners();
            return std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
        };
        pf_.recorder().clock = [this] {
            cues_.push_back({form_.surface().image().copy(), form_.surface().foreColor, form_.windowTitle(), bannerBusy,
                             pf_.now()});
            if (onCue)
                onCue();
            return pf_.tickCount();
        };
        pf_.onYield = [this] {
            if (player)
                player();
            if (bannerBusy && !learning_)
                look();
        };
    }

    ~RoundWatch()
    {
        pf_.onYield = nullptr;
        pf_.randomOverride = nullptr;
        pf_.recorder().clock = nullptr;
    }

    RoundWatch(const RoundWatch &) = delete;
    RoundWatch &operator=(const RoundWatch &) = delete;

    // Learns a banner's resting picture from the banner procedure itself (outside a round).
    void expectBanner(const QString &text)
    {
        if (references_.count(text))
            return;
        learning_ = true;
        ShowBanner(text, 1, true);
        learning_ = false;
        references_[text] = form_.surface().image().copy();
    }

    // The resting picture learnt for a banner text.
    const QImage &picture(const QString &text) const { return references_.at(text); }

    // The requests so far, with what was on the screen at each.
    const std::vector<Cue> &cues() const { return cues_; }
    std::vector<SoundRequest> &requests() { return pf_.recorder().requests; }

    void forget()
    {
        pf_.recorder().requests.clear();
        cues_.clear();
        sightings.clear();
    }

    // Indexes of the requests for one file name.
    std::vector<std::size_t> indexesOf(const QString &name) const
    {
        std::vector<std::size_t> out;
        const auto &r = pf_.recorder().requests;
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].name == name)
                out.push_back(i);
        return out;
    }

    // Names of the requests from index `from` on.
    std::vector<QString> namesFrom(std::size_t from) const
    {
        std::vector<QString> out;
        const auto &r = pf_.recorder().requests;
        for (std::size_t i = from; i < r.size(); ++i)
            out.push_back(r[i].name);
        return out;
    }

    // The banners seen, each with the cue asked for just before it, in order.
    std::vector<std::pair<QString, QString>> bannersWithCues() const
    {
        std::vector<std::pair<QString, QString>> out;
        const auto &r = pf_.recorder().requests;
        for (const Sighting &s : sightings)
            out.emplace_back(s.cuesBefore > 0 ? r[s.cuesBefore - 1].name : QString(), s.text);
        return out;
    }

    // Runs first at every yield: the scripted player.
    std::function<void()> player;
    // Runs at every sound request, before it is recorded (the tally yields nowhere else).
    std::function<void()> onCue;
    // Random values outside banners (the line, the tally colours); the watch's own generator when empty.
    std::function<double()> outsideBanners;
    std::vector<Sighting> sightings;

private:
    void look()
    {
        const QImage &now = form_.surface().image();
        const std::size_t cuesBefore = pf_.recorder().requests.size();
        for (const auto &[text, picture] : references_) {
            if (now != picture)
                continue;
            if (!sightings.empty() && sightings.back().text == text && sightings.back().cuesBefore == cuesBefore)
                return;
            sightings.push_back({text, cuesBefore});
            return;
        }
    }

    FakePlatform &pf_;
    frmClackon &form_;
    std::mt19937_64 rng_{20261208};
    std::map<QString, QImage> references_;
    bool learning_ = false;
    std::vector<Cue> cues_;
};

// The player who types the next expected character at every yield of play, through the real key path.
inline std::function<void()> promptPlayer(FakePlatform &pf, frmClackon &form)
{
    return [&pf, &form] {
        if (form.rs.isPlaying && form.picTxt->isVisible() && !form.rs.targetText.isEmpty())
            pf.typeAt(pf.tickCount(), form.rs.targetText.left(1));
    };
}

} // namespace vx::test
