#pragma once
// The log pane of the programs' windows: read-only lines, the newest at the
// top. Inserted lines reach the pane in batches, at most 100 ms late: one
// edit at the top of a long pane per line would cost a pass more than its
// own work.
#include <QPlainTextEdit>
#include <QStringList>
#include <deque>
#include <string>

class QTimer;

namespace widgets {

class TLogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLogPane(QWidget* parent = nullptr);

    // Puts the line above all others at the next flush.
    void InsertLine(const std::string& line);
    // Shows the lines not yet shown now.
    void Flush();
    // Shows exactly these lines (newest first); lines not yet shown are dropped.
    void SetLines(const std::deque<std::string>& lines);
    // Empties the pane, lines not yet shown too.
    void Clear();

private:
    QTimer* flushTimer_ = nullptr;
    QStringList pending_; // oldest first
};

} // namespace widgets
