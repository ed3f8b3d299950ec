#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace vx {

// The design's font faces and the free faces that stand in for them, best first.
struct FaceSubstitution {
    QString face;
    QStringList candidates;
};

const std::vector<FaceSubstitution> &faceSubstitutions();

// Maps each design face onto the first installed stand-in; a face with none keeps Qt's own fallback.
void installFontSubstitutions();

// The installed family that a design face resolves to.
QString resolvedFamily(const QString &face);

} // namespace vx
