#include "results/Report.h"

#include "present/NumberFormat.h"

#include <QLocale>

#include <vector>

namespace vx::report {

namespace {

const QString crlf = QStringLiteral("\r\n");
const QChar tab = QLatin1Char('\t');

QString line(const QString &text) { return text + crlf; }

QString bonusLine(const QString &name, std::int16_t units)
{
    const std::int32_t points = static_cast<std::int32_t>(units) * 100;
    return line(name + tab + formatDigits(units) + tab + QStringLiteral("x 100pts = ") + formatGrouped(points));
}

} // namespace

// The locale's long time as the clock line writes it: without the zone name and whatever only
// framed it ("(t)", ", t"), and with a day period Qt cannot write ("B") as its AM/PM.
QString clockTimeFormat(const QString &format)
{
    struct Token {
        QString text;
        bool field;
    };
    std::vector<Token> tokens;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype end = i + 1;
        if (c == QLatin1Char('\'')) {
            // A quoted literal, '' standing for a quote inside it.
            while (end < format.size()) {
                if (format.at(end) == QLatin1Char('\'')) {
                    if (end + 1 < format.size() && format.at(end + 1) == QLatin1Char('\'')) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
            tokens.push_back({format.mid(i, end - i), false});
        } else if (c.isLetter() && c.unicode() < 128) {
            while (end < format.size() && format.at(end) == c)
                ++end;
            const QString run = format.mid(i, end - i);
            if (c == QLatin1Char('B'))
                tokens.push_back({QStringLiteral("AP"), true});
            else if (c != QLatin1Char('t'))
                tokens.push_back({run, true});
        } else {
            tokens.push_back({QString(c), false});
        }
        i = end;
    }
    const auto isBlank = [](const Token &t) {
        return !t.field && (t.text == QLatin1String(" ") || t.text == QLatin1String(",") || t.text == QString(QChar(0xA0)));
    };
    // Brackets left with nothing between them, then the separators left at either end.
    static const QString opening = QStringLiteral("([（【"), closing = QStringLiteral(")]）】");
    for (std::size_t i = 0; i + 1 < tokens.size();) {
        const Token &a = tokens[i], &b = tokens[i + 1];
        const auto open = opening.indexOf(a.text);
        if (!a.field && !b.field && a.text.size() == 1 && open >= 0 && b.text == closing.at(open)) {
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i), tokens.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            i = i > 0 ? i - 1 : 0;
        } else {
            ++i;
        }
    }
    while (!tokens.empty() && isBlank(tokens.back()))
        tokens.pop_back();
    while (!tokens.empty() && isBlank(tokens.front()))
        tokens.erase(tokens.begin());
    QString out;
    for (const Token &t : tokens)
        out += t.text;
    return out;
}

QString dateTimeText(const QDateTime &when, const QLocale &locale)
{
    // A locale of no region (C, POSIX) has no date and time formats of its own to offer.
    const QLocale plainLocale = QLocale::c();
    const bool plain = locale.dateFormat(QLocale::ShortFormat) == plainLocale.dateFormat(QLocale::ShortFormat)
        && locale.timeFormat(QLocale::LongFormat) == plainLocale.timeFormat(QLocale::LongFormat);
    const QString date = plain ? when.date().toString(QStringLiteral("yyyy/MM/dd"))
                               : locale.toString(when.date(), locale.dateFormat(QLocale::ShortFormat));
    // The clock line counts whole seconds, so all of the day's first second is midnight.
    const QTime t = when.time();
    const QTime seconds(t.hour(), t.minute(), t.second());
    if (seconds == QTime(0, 0))
        return date;
    const QString time = plain ? seconds.toString(QStringLiteral("HH:mm:ss"))
                               : locale.toString(seconds, clockTimeFormat(locale.timeFormat(QLocale::LongFormat)));
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
