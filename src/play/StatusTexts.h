#pragma once

#include <QString>

#include <cstdint>

namespace vx {

// A text made from one value, made again only when the value changes: the status strip's texts
// are the same pass after pass, and a pass should not build strings it already has.
template <typename Value>
class TextOf {
public:
    template <typename Make>
    const QString &operator()(const Value &value, Make make)
    {
        if (!made_ || !(value == value_)) {
            value_ = value;
            text_ = make(value);
            made_ = true;
        }
        return text_;
    }

private:
    Value value_{};
    QString text_;
    bool made_ = false;
};

// The texts of the status strip, one per changing part.
struct StatusTexts {
    TextOf<QString> judgement; // "Perfect! " …
    TextOf<double> shownScore; // "0012345 PTS"
    TextOf<double> pendingScore; // "+ 004500"
    TextOf<std::int32_t> combo; // "6 combo"
};

} // namespace vx
