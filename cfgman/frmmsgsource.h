#pragma once
// "Message Source": the raw text of a message file, read only.
#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace cfgman {

class TfrmMsgSource : public QWidget {
    Q_OBJECT
public:
    // A window of its own, freed when closed or with its owner.
    explicit TfrmMsgSource(QWidget* owner);

    // Shows the file's bytes; raises when it cannot be read.
    void LoadFile(const std::string& path);

    QPlainTextEdit* memSource = nullptr;
};

} // namespace cfgman
