// Key to screen, in real time: from a key event's arrival in the queue (posted from another thread at
// random moments, as a keyboard would) to the first presented frame that shows its judgement
// (the text strip's refresh after the key changed what is drawn).
#include "BenchClock.h"
#include "ForwardingPlatform.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "present/Spinner.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QInputDevice>
#include <QKeyEvent>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int keysWanted = 300;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::min<double>(v.size() - 1, p * (v.size() - 1) + 0.5));
    return v[i];
}

// What the keyboard thread needs from the game, handed over at every yield.
struct Shared {
    std::atomic<bool> inPlay{false};
    std::atomic<bool> done{false};
    std::atomic<char16_t> expected{0};
    std::atomic<QWidget *> target{nullptr};
    std::mutex m;
    std::vector<long long> posted; // post times, in order
};

// The real platform; notes each yield and keeps the line long enough for the run.
class Watched final : public ForwardingPlatform {
public:
    Watched(vx::Platform &inner, Shared &shared) : ForwardingPlatform(inner), shared_(shared) {}

    void doEvents() override
    {
        before();
        inner_.doEvents();
        after();
    }

    vx::frmClackon *form = nullptr;
    // Per judged key: post, judged (its yield returned), presented.
    struct Sample {
        long long posted, judged, presented;
    };
    std::vector<Sample> samples;
    long long awaiting = -1; // index into posted of the key judged, waiting for its frame
    long long judgedAt = 0;

    void presented()
    {
        if (awaiting < 0)
            return;
        std::lock_guard lock(shared_.m);
        samples.push_back({shared_.posted[static_cast<std::size_t>(awaiting)], judgedAt, monotonicNs()});
        awaiting = -1;
        if (static_cast<int>(samples.size()) >= keysWanted)
            report();
    }

private:
    [[noreturn]] void report()
    {
        std::vector<double> total, queued, drawn;
        for (const Sample &x : samples) {
            total.push_back((x.presented - x.posted) / 1e6);
            queued.push_back((x.judged - x.posted) / 1e6);
            drawn.push_back((x.presented - x.judged) / 1e6);
        }
        constexpr double step = 1000.0 / 64;
        std::printf("| measure (%zu keys, %d misses) | median ms | p99 ms | max ms | median / tick step | p99 / tick step |\n"
                    "|---|---|---|---|---|---|\n",
                    samples.size(), form->rs.missCount);
        const auto row = [&](const char *name, const std::vector<double> &v) {
            const double med = percentile(v, 0.5), p99 = percentile(v, 0.99);
            std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f |\n", name, med, p99, percentile(v, 1.0), med / step,
                        p99 / step);
        };
        row("key posted to its frame presented", total);
        row("  posted to judged (waiting for the next yield)", queued);
        row("  judged to presented (waiting for the next tick step, drawing)", drawn);
        std::printf("(tick step = 1/64 s = %.3f ms)\n", step);
        std::fflush(stdout);
        std::_Exit(0);
    }

    void before()
    {
        if (!form)
            return;
        vx::RoundState &rs = form->rs;
        const bool inPlay = form->picTxt->isVisible();
        if (inPlay && rs.targetText.size() < 10) {
            // An endless line, and kept on the strip, so every frame draws what a player sees.
            rs.targetText += QStringLiteral("QWERTYUIOPASDFGHJKLZXCVBNM");
        }
        if (inPlay && rs.textLeft > 300)
            rs.textLeft = 150;
        hitsBefore_ = rs.hitCount;
        keysBefore_ = rs.hitCount + rs.missCount;
        QWidget *focus = QApplication::focusWidget();
        shared_.target = focus && focus->window() == form ? focus : form;
        shared_.expected = rs.targetText.isEmpty() ? u'\0' : rs.targetText.at(0).unicode();
        shared_.inPlay = inPlay;
    }
    void after()
    {
        if (!form)
            return;
        const int keys = form->rs.hitCount + form->rs.missCount;
        if (keys == keysBefore_)
            return;
        // Each posted key is judged once, in order; only a hit's frame is timed.
        judged_ += static_cast<std::size_t>(keys - keysBefore_);
        if (form->rs.hitCount == hitsBefore_)
            return;
        awaiting = static_cast<long long>(judged_ - 1);
        judgedAt = monotonicNs();
    }

    Shared &shared_;
    int hitsBefore_ = 0;
    int keysBefore_ = 0;
    std::size_t judged_ = 0;
};

// The text strip is presented once its refresh has returned, that is when the status strip's begins.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(Watched &w) : w_(w) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            w_.presented();
        return false;
    }

private:
    Watched &w_;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();

    Shared shared;
    vx::SystemPlatform system(nullptr);
    Watched watched(system, shared);
    vx::frmClackon form(watched);
    watched.form = &form;
    PaintWatch paints(watched);
    form.picPTS->installEventFilter(&paints);

    // A key event made on another thread would create the keyboard device there: make it here first.
    QInputDevice::primaryKeyboard();
    // The keyboard: keys at random moments, 100 to 200 ms apart, only while play runs.
    std::thread keyboard([&shared] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> gapMs(100, 200);
        while (!shared.done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(rng)));
            if (!shared.inPlay || shared.done)
                continue;
            const char16_t c = shared.expected;
            QWidget *to = shared.target;
            if (!c || !to)
                continue;
            const QString text = QString(QChar(c));
            const int key = QChar(c).toUpper().unicode();
            std::lock_guard lock(shared.m);
            shared.posted.push_back(monotonicNs());
            QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
            QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
        }
    });

    form.Form_Load();
    form.vsnS->setValue(105 - 30); // 30 ms per pixel
    form.vsNt->setValue(110 - 30);
    form.cmdStart_Click();
    std::fprintf(stderr, "play ended before enough keys were measured\n");
    shared.done = true;
    keyboard.join();
    return 1;
}
