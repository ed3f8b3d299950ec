#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace vx {

// The result window: every report since it was opened, newest first.
class frmResult : public QWidget {
    Q_OBJECT
public:
    explicit frmResult(QWidget *owner);

    QPlainTextEdit *txtResult = nullptr;

    // The box's text with the reports' CR LF line ends, as the player may have edited it.
    QString text() const;
    void setText(const QString &text);

    void Form_Resize();

    // Puts the window where it covers nothing of its owner, below it or else above it, when its
    // screen has the room; otherwise its place is left to the window manager.
    void placeBeside(const QWidget &owner);

protected:
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace vx
