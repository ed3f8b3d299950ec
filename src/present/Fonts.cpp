#include "present/Fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>

#include <vector>

namespace vx {

const std::vector<FaceSubstitution> &faceSubstitutions()
{
    static const std::vector<FaceSubstitution> table = {
        {QStringLiteral("ＭＳ ゴシック"), {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Droid Sans Fallback")}},
        {QStringLiteral("ＭＳ Ｐゴシック"), {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Droid Sans Fallback")}},
        {QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif"), QStringLiteral("Nimbus Roman"), QStringLiteral("DejaVu Serif")}},
        {QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")}},
        {QStringLiteral("Impact"), {QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans")}},
    };
    return table;
}

void installFontSubstitutions()
{
    const QStringList installed = QFontDatabase::families();
    for (const auto &entry : faceSubstitutions()) {
        QStringList present;
        for (const auto &candidate : entry.candidates) {
            if (installed.contains(candidate, Qt::CaseInsensitive))
                present << candidate;
        }
        if (!present.isEmpty())
            QFont::insertSubstitutions(entry.face, present);
    }
}

QString resolvedFamily(const QString &face)
{
    return QFontInfo(QFont(face)).family();
}

} // namespace vx
