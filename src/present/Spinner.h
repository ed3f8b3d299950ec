#pragma once

#include <QScrollBar>

namespace vx {

// A vertical scroll bar too short for a track: two arrow buttons, the upper one lowering the value.
class Spinner : public QScrollBar {
    Q_OBJECT
public:
    explicit Spinner(QWidget *parent = nullptr);

    enum class Part { None, Up, Down };
    Part partAt(const QPoint &pos) const;
    QRect partRect(Part part) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    // A spinner that is hidden or disabled lets go: no repeat runs on behind the player's back.
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void letGo();
    Part pressed_ = Part::None;
};

} // namespace vx
