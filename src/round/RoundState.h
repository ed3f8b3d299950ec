#pragma once

#include "platform/Color.h"

#include <QString>

#include <array>
#include <cstdint>

namespace vx {

// The round variables of the main window, one record for the life of the process.
struct RoundState {
    float judgeX = 0;
    float judgeFade = 0;
    QString lastKey;
    std::int16_t perfectCount = 0;
    std::int16_t greatCount = 0;
    std::int16_t goodCount = 0;
    std::int16_t missCount = 0;
    std::int32_t lastHitTick = 0;
    double score = 0;
    QString judgeText;
    std::int32_t judgeColor = 0;
    std::array<QString, 4> keyRows;
    std::int16_t pickIndex = 0;
    QString targetText;
    QString pickChar;
    float textLeft = 0;
    bool isPlaying = false;
    std::int16_t hitCount = 0;
    std::int16_t missTotal = 0;
    std::int16_t digitIndex = 0;
    std::int16_t charCount = 0;
    std::int32_t speedSetting = 0;
    std::int16_t missFlag = 0;
    std::int16_t gauge = 0;
    std::int16_t combo = 0;
    std::int16_t maxCombo = 0;
    double shownScore = 0;
};

} // namespace vx
