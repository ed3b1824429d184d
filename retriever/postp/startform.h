#pragma once
// The hidden start-up window of postp: it holds the tray icon with its menu
// and the about box, and closing it ends the program.
#include "retriever/mailretriever.h"
#include "widgets/frame/trayform.h"

namespace postp {

class TForm1 : public widgets::TTrayFormOf<retriever::TMailRetriever> {
public:
    explicit TForm1(QWidget* parent = nullptr);

    QAction* O1 = nullptr;        // "&Open..."
    QAction* Contents1 = nullptr; // "Help" > "Contents...", no action

    void O1Click() { mdTray1DefaultFunction(); }
};

} // namespace postp
