#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

namespace vx::report {

// The lines of a round's report; each ends with CR LF, fields are TAB-separated.
// The date line: the locale's short date, one blank, its long time (none at midnight). The system
// locale answers with the formats of LC_TIME.
QString dateTimeText(const QDateTime &when, const QLocale &locale = QLocale::system());
// A long-time format made fit for the clock line: no zone name, nothing left of what framed it.
QString clockTimeFormat(const QString &format);
QString headLines(const QDateTime &when, std::int16_t charCount, std::int32_t speedSetting, bool hidden,
                  const QString &hiddenCaption);
QString outcomeLine(bool cleared);
QString countLines(std::int16_t perfect, std::int16_t great, std::int16_t good, std::int16_t miss);
QString maxComboLine(std::int16_t maxCombo);
QString gaugeLine(std::int16_t gauge);
QString perfectBonusLine();
QString totalLine(double total);

// The result box's text once a new report is put on top of the earlier ones.
QString stacked(const QString &report, const QString &earlier);

} // namespace vx::report
