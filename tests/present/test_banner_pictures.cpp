// Whole banners on the main window, every presented picture pixel for pixel against the
// straightforward drawing: a black screen and the snapshot copied onto it pixel by pixel, placed
// by the banner's own rules. Whatever the copies keep between calls must not show.

#include "fake/GameFixture.h"
#include "fake/ImageDifference.h"
#include "platform/Rounding.h"
#include "present/BannerProbe.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>

namespace vx::test {
namespace {

// The copy as it was first written: every device pixel looked up in the bit image on its own,
// clipped at the edges of both images.
void plainCopy(QImage &dst, qreal dpr, int x, int y, int w, int h, const QImage &bits, int sx, int sy,
               std::uint32_t on, std::uint32_t off)
{
    if (w <= 0 || h <= 0)
        return;
    const int dx0 = toInt32(x * dpr), dy0 = toInt32(y * dpr);
    const int pw = toInt32((static_cast<double>(x) + w) * dpr) - dx0;
    const int ph = toInt32((static_cast<double>(y) + h) * dpr) - dy0;
    const int sx0 = toInt32(sx * dpr), sy0 = toInt32(sy * dpr);
    for (int row = 0; row < ph; ++row) {
        const int dy = dy0 + row, bitY = sy0 + row;
        if (dy < 0 || dy >= dst.height() || bitY < 0 || bitY >= bits.height())
            continue;
        auto *out = reinterpret_cast<std::uint32_t *>(dst.scanLine(dy));
        const uchar *in = bits.constScanLine(bitY);
        for (int k = 0; k < pw; ++k) {
            const int dx = dx0 + k, bit = sx0 + k;
            if (dx < 0 || dx >= dst.width() || bit < 0 || bit >= bits.width())
                continue;
            out[dx] = (in[bit >> 3] & (0x80 >> (bit & 7))) ? on : off;
        }
    }
}

// The shake's random numbers: a fixed round that reaches both ends of the offsets and a few halves.
class Dice {
public:
    double operator()()
    {
        static constexpr std::array<double, 11> faces = {0.0, 0.9999, 0.5, 0.25, 0.75, 1.0 / 12, 11.0 / 12, 0.4, 0.6, 0.1, 0.9};
        return faces[thrown++ % faces.size()];
    }
    std::size_t thrown = 0;
};

// Passes everything on to the main window and keeps each picture it presents, with its tick.
class PresentedFrames final : public BannerScreen {
public:
    explicit PresentedFrames(frmClackon &form)
        : form_(form)
    {
    }
    Surface &surface() override { return form_.surface(); }
    bool refresh() override
    {
        const bool answered = form_.refresh();
        frames.push_back({form_.platform().tickCount(), form_.surface().image().copy()});
        return answered;
    }
    Platform &platform() override { return form_.platform(); }

    std::vector<Frame> frames;

private:
    frmClackon &form_;
};

// One banner drawn the plain way: its snapshot printed afresh, each picture a black screen with
// the snapshot copied onto it where the banner's rules place it at that moment.
class PlainBanner {
public:
    PlainBanner(const QString &text, std::int32_t mode, int W, int H, qreal dpr)
        : g(bannerGeometry(text, W, H, dpr))
        , drop(mode == 2 || mode == 3)
        , stays(mode == 1 || mode == 3)
        , dpr_(dpr)
        , snapshot_(snapshotOf(text, g, dpr))
    {
    }

    // Checks the pictures of one call that started at `start`, phase by phase: a phase starts with
    // the first picture whose moment no longer belongs to the one before. Stops at the first
    // wrong picture; true when all were right.
    bool expectFrames(const std::vector<Frame> &frames, std::uint32_t start, Dice &dice) const
    {
        enum class Phase { Entrance, Shake, Rest, SlideOut, Cleared };
        Phase phase = Phase::Entrance;
        std::uint32_t t0 = start;
        if (frames.empty() || frames.front().tick != start) {
            ADD_FAILURE() << "the entrance presents at once";
            return false;
        }
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const Frame &f = frames[i];
            QImage plain = blank();
            const char *what = nullptr;
            if (phase == Phase::Entrance) {
                const std::int32_t t = tickDiff(f.tick, t0);
                if (drop && g.H - t > 0) {
                    const int p = g.H - t;
                    copy(plain, g.X, -p, g.half, 0);
                    copy(plain, toInt32(g.X + g.w / 2.0), p, g.half, g.half);
                    what = "split drop";
                } else if (!drop && slideIn(t) > g.X - 10) {
                    copy(plain, slideIn(t), 0, g.W, 0);
                    what = "slide-in";
                } else {
                    phase = Phase::Shake;
                    t0 = f.tick;
                }
            } else if (phase == Phase::Rest && !stays) {
                phase = Phase::SlideOut;
                t0 = f.tick;
            } else if (phase == Phase::Rest || phase == Phase::Cleared) {
                ADD_FAILURE() << "picture " << i << " after the banner's last";
                return false;
            }
            if (!what && phase == Phase::Shake) {
                if (tickDiff(f.tick, t0) < 100) {
                    const double r1 = dice();
                    const double r2 = dice();
                    copy(plain, toInt32(g.X + r1 * 6 - 3), toInt32(r2 * 6 - 3), g.W, 0);
                    what = "shake";
                } else {
                    copy(plain, g.X, 0, g.W, 0);
                    phase = Phase::Rest;
                    what = "rest";
                }
            }
            if (!what && phase == Phase::SlideOut) {
                const double q = tickDiff(f.tick, t0) / 10.0;
                const int p = toInt32(g.X - q * q);
                if (p > -g.w) {
                    copy(plain, p, 0, g.W, 0);
                    what = "slide-out";
                } else {
                    phase = Phase::Cleared;
                    what = "cleared";
                }
            }
            const QString difference = firstDifference(f.image, plain);
            if (!difference.isEmpty()) {
                ADD_FAILURE() << what << " picture " << i << " at " << tickDiff(f.tick, start)
                              << " ms: " << qPrintable(difference);
                return false;
            }
        }
        if (phase != (stays ? Phase::Rest : Phase::Cleared)) {
            ADD_FAILURE() << "the banner stopped before its " << (stays ? "rest" : "clear");
            return false;
        }
        return true;
    }

    const BannerGeometry g;
    const bool drop;
    const bool stays;

private:
    // The text printed alone, white at the left edge, and taken as one bit per pixel.
    static MonoSnapshot snapshotOf(const QString &text, const BannerGeometry &g, qreal dpr)
    {
        Surface s(g.W, g.H, dpr);
        setBannerFont(s);
        s.foreColor = rgb(255, 255, 255);
        s.currentY = g.Y;
        s.print(text);
        return MonoSnapshot(s, g.W, g.H);
    }
    int slideIn(std::int32_t t) const
    {
        const double q = t / 20.0;
        return toInt32(g.W - q * q);
    }
    QImage blank() const
    {
        QImage image(toInt32(g.W * dpr_), toInt32(g.H * dpr_), QImage::Format_RGB32);
        image.fill(blackPixel);
        return image;
    }
    // Columns from `sx` of the snapshot, the full height, white on black.
    void copy(QImage &plain, int x, int y, int w, int sx) const
    {
        plainCopy(plain, dpr_, x, y, w, g.H, snapshot_.bits(), sx, 0, whitePixel, blackPixel);
    }

    qreal dpr_;
    MonoSnapshot snapshot_;
};

struct BannerCall {
    const char *text; // UTF-8
    std::int32_t mode;
};

// Banners in the order a caller of the game shows them, on one screen.
struct BannerSequence {
    const char *name;
    std::vector<BannerCall> banners;
    bool wide; // each text is wider than the window
};

void PrintTo(const BannerSequence &sequence, std::ostream *os) { *os << sequence.name; }

const char *const wideText = "Here We Go! Here We Go! Go!";

const std::vector<BannerSequence> sequences = {
    {"intro", {{"Welcome to", 1}, {"VX", 3}, {"Clackon!", 2}}, false},
    {"roundOpening", {{"Ready?", 3}, {"Here We Go!", 2}}, false},
    {"cleared", {{"CLEARED!", 0}}, false},
    {"failure", {{"FAILURE", 0}}, false},
    // A total of 10,987,654, told digit by digit.
    {"tally", {{"Total", 1}, {"1", 3}, {"0", 3}, {"9", 3}, {"8", 3}, {"7", 3}, {"6", 3}, {"5", 3}, {"4", 3},
               {"10,987,654 pts.", 2}}, false},
    {"otherModes", {{"Ready?", 7}, {"FAILURE", -1}, {"CLEARED!", 4}}, false},
    {"wideDrop", {{wideText, 2}, {wideText, 3}}, true},
    // Carried past the left edge, the slide-in's copy no longer reaches the right edge.
    {"wideSlideIn", {{wideText, 0}, {wideText, 1}, {wideText, 5}}, true},
    {"empty", {{"", 0}, {"", 1}, {"", 2}, {"", 3}}, false},
};

class BannerPictures : public GameFixture,
                       public ::testing::WithParamInterface<std::tuple<BannerSequence, qreal>> {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        form->surface().setDevicePixelRatio(std::get<1>(GetParam()));
        pf.randomOverride = [this] { return gameDice(); };
        presented.emplace(*form);
        screenForm = &*presented;
        ClearScreen();
    }
    void TearDown() override
    {
        screenForm = nullptr;
        presented.reset();
        GameFixture::TearDown();
    }

    std::optional<PresentedFrames> presented;
    Dice gameDice;
};

TEST_P(BannerPictures, EveryPresentedPictureMatchesThePlainDrawing)
{
    const auto &[sequence, dpr] = GetParam();
    const Surface &s = form->surface();
    ASSERT_EQ(s.devicePixelRatio(), dpr);
    for (const BannerCall &call : sequence.banners) {
        const QString text = QString::fromUtf8(call.text);
        SCOPED_TRACE(testing::Message() << "\"" << call.text << "\" mode " << call.mode);
        const PlainBanner plain(text, call.mode, s.scaleWidth(), s.scaleHeight(), dpr);
        if (sequence.wide) {
            // Cut at both ends while it rests.
            ASSERT_LT(plain.g.X, 0);
            ASSERT_GT(plain.g.X + plain.g.w, plain.g.W);
        }
        Dice plainDice = gameDice;
        presented->frames.clear();
        const std::uint32_t start = now();
        ShowBanner(text, call.mode, false);
        ASSERT_FALSE(bannerBusy);
        if (plain.expectFrames(presented->frames, start, plainDice)) {
            EXPECT_EQ(gameDice.thrown, plainDice.thrown) << "two random numbers for each shaken picture";
        }
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<BannerSequence, qreal>> &info)
{
    return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == 1.0 ? "" : "Twice");
}

INSTANTIATE_TEST_SUITE_P(Banners, BannerPictures,
                         ::testing::Combine(::testing::ValuesIn(sequences), ::testing::Values(1.0, 2.0)), caseName);

} // namespace
} // namespace vx::test
