#pragma once
// The message editors' formatting bar (bold, italic, underline, bullets,
// alignment, font name and size, attachments) and indent ruler. Both follow
// the body's selection: the selection's attributes when it holds at least
// one character, else the attributes new text gets.
#include "cfgman/core/ruler.h"

#include <QToolBar>
#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QSpinBox;
class QTextCharFormat;
class QTextEdit;

namespace cfgman {

class TFormatBar : public QToolBar {
    Q_OBJECT
public:
    TFormatBar(QTextEdit& body, QWidget* parent);

    // Shows the attributes at the selection; the bar's own handlers stay
    // quiet meanwhile.
    void Refresh();

    QAction *BoldButton, *ItalicButton, *UnderlineButton, *BulletsButton;
    QAction *LeftAlign, *CenterAlign, *RightAlign;
    QAction* AttachButton;
    QComboBox* FontName;
    QSpinBox* FontSize;

private:
    void Apply(const std::function<void(QTextCharFormat&)>& change);
    void Align(Qt::Alignment alignment);
    void Bullets(bool on);

    QTextEdit& body_;
    bool refreshing_ = false;
};

class TRulerMarker;

class TEditRuler : public QWidget {
    Q_OBJECT
public:
    TEditRuler(QTextEdit& body, QWidget* parent);

    // Puts the markers where the current paragraph's indents say.
    void Refresh();
    // The current paragraph's indents in points.
    [[nodiscard]] TIndents Indents() const;

    TRulerMarker *FirstInd, *LeftInd, *RightInd;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TRulerMarker;
    void MarkerReleased(TRulerMarker* marker);
    void SetIndents(const TIndents& indents);

    QTextEdit& body_;
};

// A marker of the ruler, dragged along it with the mouse.
class TRulerMarker : public QWidget {
    Q_OBJECT
public:
    TRulerMarker(TEditRuler& ruler, bool pointsUp);
    // Where the drag grabbed it (half its width).
    [[nodiscard]] int Grip() const { return width() / 2; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TEditRuler& ruler_;
    bool pointsUp_;
    bool dragging_ = false;
};

} // namespace cfgman
