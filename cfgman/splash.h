#pragma once
// The splash window: borderless, on top, centred, black, 400 x 242, with the
// picture, the version and the maker's web address. A click anywhere on it
// closes it, and closing frees it. The About box shows the same window modally.
#include <QDialog>

class QLabel;

namespace cfgman {

inline constexpr const char* kVersionText = "Version 1.062998";
inline constexpr const char* kMakerAddress = "www.dovira.example";

class TSplashForm : public QDialog {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    QLabel* lblWeb = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace cfgman
