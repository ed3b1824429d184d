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

    std::string Caption;
    std::string Copyright;
    std::string Description;
    std::string Product;
    std::string CustomButton;
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
};

// The number-format subset the memory figure uses: "#" and "0" digit
// places, "," for thousands separators, quoted literal sections, no
// decimals (the value is rounded).
[[nodiscard]] std::string FormatFloat(const std::string& format, double value);

} // namespace widgets
