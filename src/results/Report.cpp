#include "results/Report.h"

#include "present/NumberFormat.h"

#include <QLocale>

namespace vx::report {

namespace {

const QString crlf = QStringLiteral("\r\n");
const QChar tab = QLatin1Char('\t');

QString line(const QString &text) { return text + crlf; }

// The locale's long time without the zone name, which the desktop's clock line never shows.
QString longTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

QString bonusLine(const QString &name, std::int16_t units)
{
    const std::int32_t points = static_cast<std::int32_t>(units) * 100;
    return line(name + tab + formatDigits(units) + tab + QStringLiteral("x 100pts = ") + formatGrouped(points));
}

} // namespace

QString dateTimeText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    const bool plain = locale.language() == QLocale::C;
    const QString date = plain ? when.date().toString(QStringLiteral("yyyy/MM/dd"))
                               : locale.toString(when.date(), QLocale::ShortFormat);
    // The clock line counts whole seconds, so all of the day's first second is midnight.
    const QTime t = when.time();
    const QTime seconds(t.hour(), t.minute(), t.second());
    if (seconds == QTime(0, 0))
        return date;
    const QString time = plain ? seconds.toString(QStringLiteral("HH:mm:ss"))
                               : locale.toString(seconds, longTimeFormat(locale));
    return date + QLatin1Char(' ') + time;
}

QString headLines(const QDateTime &when, std::int16_t charCount, std::int32_t speedSetting, bool hidden,
                  const QString &hiddenCaption)
{
    return line(QStringLiteral("VX-Clackon! Result")) + line(dateTimeText(when))
        + line(QStringLiteral("Num:") + QString::number(charCount))
        + line(QStringLiteral("Spd:") + QString::number(speedSetting))
        + line((hidden ? QStringLiteral("[Hidden]") : QStringLiteral("[Normal]")) + hiddenCaption);
}

QString outcomeLine(bool cleared)
{
    return line(cleared ? QStringLiteral("- CLEARED -") : QStringLiteral("- FAILURE -"));
}

QString countLines(std::int16_t perfect, std::int16_t great, std::int16_t good, std::int16_t miss)
{
    return line(QStringLiteral("Perfect") + tab + QString::number(perfect))
        + line(QStringLiteral("Great") + tab + QString::number(great))
        + line(QStringLiteral("Good") + tab + QString::number(good))
        + line(QStringLiteral("Miss") + tab + QString::number(miss));
}

QString maxComboLine(std::int16_t maxCombo) { return bonusLine(QStringLiteral("MaxComb"), maxCombo); }

QString gaugeLine(std::int16_t gauge) { return bonusLine(QStringLiteral("Gauge"), gauge); }

QString perfectBonusLine() { return line(QStringLiteral("Perfect") + tab + QStringLiteral("1,000")); }

QString totalLine(double total)
{
    return line(QStringLiteral("Total") + tab + formatGrouped(total) + QStringLiteral("pts"));
}

QString stacked(const QString &report, const QString &earlier)
{
    return report + crlf + earlier;
}

} // namespace vx::report
