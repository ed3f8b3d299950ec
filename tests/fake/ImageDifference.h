#pragma once

#include <QImage>
#include <QString>

namespace vx::test {

// The first differing device pixel, as text for a failure message; empty when the images match.
inline QString firstDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                return QStringLiteral("(%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(b.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return {};
}

} // namespace vx::test
