#pragma once
// The hidden start-up window: it holds the tray icon with its menu and the
// about box, and closing it ends the program.
#include "processor/agentprocessor.h"
#include "widgets/frame/trayform.h"

namespace posta {

class TForm1 : public widgets::TTrayFormOf<quelta::TAgentProcessor> {
public:
    explicit TForm1(QWidget* parent = nullptr);

    QAction* Status1 = nullptr; // "&Status...", no action
};

} // namespace posta
