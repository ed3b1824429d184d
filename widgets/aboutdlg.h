#pragma once
// The about box: a component that shows a modal window with the program's
// icon, product line, copyright notice and description, an optional extra
// button, the physical memory and the free system resources.
#include <QDialog>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace widgets {

class TEPImage;
class TEPBorder;

class TEPAboutDialogFm : public QDialog {
    Q_OBJECT
public:
    explicit TEPAboutDialogFm(QWidget* parent = nullptr);

    TEPImage* AboutIm;
    QLabel* ProductLb;
    QLabel* CopyrightLb;
    QLabel* DescriptionLb;
    TEPBorder* EPBorder1;
    QLabel* MemoryTextLb;
    QLabel* MemoryLb;
    QLabel* ResourcesTextLb;
    QLabel* ResourcesLb;
    QPushButton* CustomBt;
    QPushButton* OKBt;
};

class TEPAboutDialog : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TEPAboutDialog(QObject* owner = nullptr);

    // All empty by default: the application title and a notice of our own
    // stand in where the window needs a text.
    [[nodiscard]] const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& text) { caption_ = text; }
    [[nodiscard]] const std::string& Copyright() const { return copyright_; }
    void SetCopyright(const std::string& text) { copyright_ = text; }
    [[nodiscard]] const std::string& Description() const { return description_; }
    void SetDescription(const std::string& text) { description_ = text; }
    [[nodiscard]] const std::string& Product() const { return product_; }
    void SetProduct(const std::string& text) { product_ = text; }
    // The extra button shows only with a caption.
    [[nodiscard]] const std::string& CustomButton() const { return customButton_; }
    void SetCustomButton(const std::string& text) { customButton_ = text; }

    TNotifyEvent OnCustomClick;
    TNotifyEvent OnIconDblClick;

    // Shows the window modally; returns when it closes.
    void Execute();
    // The window filled in for the given figures, not yet shown.
    [[nodiscard]] TEPAboutDialogFm* CreateForm(std::uint64_t totalPhysicalBytes, int freeResources);

    // Percentage 0..100 from the resource meter library; 100 without it.
    [[nodiscard]] static int GetFreeSystemResources(int kind);
    // Total physical memory in bytes.
    [[nodiscard]] static std::uint64_t TotalPhysicalMemory();

private:
    std::string caption_;
    std::string copyright_;
    std::string description_;
    std::string product_;
    std::string customButton_;
};

// The number-format subset the memory figure uses: "#" and "0" digit
// places, "," for thousands separators, quoted literal sections, no
// decimals (the value is rounded).
[[nodiscard]] std::string FormatFloat(const std::string& format, double value);

} // namespace widgets
