#pragma once
// A read-only label showing RTF text that sizes its height to the text:
// it grows a line at a time, each step by the height of the font at the
// first character that does not fit yet, until the text fits its width.
#include <string>

#include "widgets/richedit.h"

namespace widgets {

class TEPRichLabel : public TEPCustomRichEdit {
    Q_OBJECT
public:
    explicit TEPRichLabel(QWidget* parent = nullptr);

    // The content as RTF. Setting it leaves the modified flag as it was;
    // text that does not start with "{\rtf" is shown as plain text.
    [[nodiscard]] std::string RichText() const;
    void SetRichText(const std::string& text);
    [[nodiscard]] bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    // Nothing without AutoSize, without text, or without any width to fit
    // the text into. The height it computes is also the one it asks of a
    // layout.
    virtual void AdjustHeight();

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ContentsChanged();

    bool autoSize_ = true;
    bool settingText_ = false;
    int adjustedHeight_ = -1; // the last height AdjustHeight computed
};

} // namespace widgets
