#include "widgets/aboutdlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <tuple>
#include <unistd.h>
#include <utility>

#include "widgets/epimage.h"

namespace widgets {

namespace {

const char* const DefaultCopyright = "Copyright (C) Dovira. All rights reserved.";

QLabel* MakeLabel(QWidget* parent, int left, int top, int width, int height,
                  const char* text = "") {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// Labels that size themselves to their text keep their left edge, or their
// right edge when right-aligned.
void AutoSize(QLabel* label) {
    const QRect before = label->geometry();
    label->adjustSize();
    if (label->alignment() & Qt::AlignRight)
        label->move(before.right() - label->width() + 1, before.top());
}

// The places were measured for one font; with another, every text gets the
// room it needs: captions their width and height, the figures kept right of
// their captions, the description the lines it wraps to, and the window
// grows (never shrinks) to hold it all.
void FitTexts(TEPAboutDialogFm& f) {
    constexpr int kMargin = 12, kGap = 8;
    for (QLabel* caption : {f.MemoryTextLb, f.ResourcesTextLb})
        caption->adjustSize();
    int right = f.width() - kMargin;
    for (auto [caption, figure] :
         {std::pair{f.MemoryTextLb, f.MemoryLb}, std::pair{f.ResourcesTextLb, f.ResourcesLb}})
        right = std::max(right, caption->geometry().right() + 1 + kGap + figure->width());
    for (QLabel* line : {f.ProductLb, f.CopyrightLb})
        right = std::max(right, line->geometry().right() + 1);
    const int wider = right + kMargin - f.width();

    f.DescriptionLb->resize(f.DescriptionLb->width() + wider, f.DescriptionLb->height());
    const int wrapped = f.DescriptionLb->heightForWidth(f.DescriptionLb->width());
    const int taller = std::max(0, wrapped - f.DescriptionLb->height());
    f.DescriptionLb->resize(f.DescriptionLb->width(), f.DescriptionLb->height() + taller);

    const int row = std::max({f.MemoryTextLb->height(), f.MemoryLb->height(),
                              f.ResourcesTextLb->height(), f.ResourcesLb->height()});
    f.EPBorder1->setGeometry(f.EPBorder1->x(), f.EPBorder1->y() + taller,
                             f.EPBorder1->width() + wider, f.EPBorder1->height());
    const int top = f.MemoryTextLb->y() + taller;
    const int resourcesTop = std::max(f.ResourcesTextLb->y() + taller, top + row + 2);
    for (auto [caption, figure, y] : {std::tuple{f.MemoryTextLb, f.MemoryLb, top},
                                      std::tuple{f.ResourcesTextLb, f.ResourcesLb, resourcesTop}}) {
        caption->setGeometry(caption->x(), y, caption->width(), row);
        figure->setGeometry(figure->x() + wider, y, figure->width(), row);
    }
    const int buttonsTop = std::max(f.OKBt->y() + taller, resourcesTop + row + 10);
    for (QPushButton* button : {f.CustomBt, f.OKBt})
        button->move(button->x() + wider, buttonsTop);
    f.setFixedSize(f.width() + wider, std::max(f.height() + taller, buttonsTop + 33));
}

// The "%d" and "%%" of a format.
std::string FormatInt(const std::string& format, int value) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd') {
            out += std::to_string(value);
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

} // namespace

TEPAboutDialogFm::TEPAboutDialogFm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(342, 221);

    AboutIm = new TEPImage(this);
    AboutIm->setGeometry(12, 12, 32, 32);
    ProductLb = MakeLabel(this, 68, 12, 74, 16);
    QFont productFont = dialogFont;
    productFont.setPixelSize(13);
    ProductLb->setFont(productFont);
    CopyrightLb = MakeLabel(this, 68, 32, 68, 13);
    DescriptionLb = MakeLabel(this, 68, 72, 264, 53);
    DescriptionLb->setWordWrap(true);
    EPBorder1 = new TEPBorder(this);
    EPBorder1->SetBorderStyle(TEPBorderStyle::epbsHorizLine);
    EPBorder1->setGeometry(68, 132, 269, 9);
    MemoryTextLb = MakeLabel(this, 68, 138, 185, 13, "Physical memory available to Windows:");
    // The figures' captions are their formats.
    MemoryLb = MakeLabel(this, 256, 138, 74, 13, "#,###\" KB\"");
    MemoryLb->setAlignment(Qt::AlignRight | Qt::AlignTop);
    ResourcesTextLb = MakeLabel(this, 68, 156, 86, 13, "System resources:");
    ResourcesLb = MakeLabel(this, 260, 156, 70, 13, "%d%% Free");
    ResourcesLb->setAlignment(Qt::AlignRight | Qt::AlignTop);

    CustomBt = new QPushButton(this);
    CustomBt->setGeometry(172, 188, 75, 23);
    CustomBt->setAutoDefault(true);
    CustomBt->hide();
    OKBt = new QPushButton(QStringLiteral("OK"), this);
    OKBt->setGeometry(256, 188, 75, 23);
    OKBt->setDefault(true);
    connect(OKBt, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(CustomBt, OKBt);
    OKBt->setFocus();
}

TEPAboutDialog::TEPAboutDialog(QObject* owner) : QObject(owner) {}

TEPAboutDialogFm* TEPAboutDialog::CreateForm(std::uint64_t totalPhysicalBytes, int freeResources) {
    auto* form = new TEPAboutDialogFm();
    const std::string title = QGuiApplication::applicationDisplayName().toStdString();
    form->setWindowTitle(QString::fromStdString(caption_.empty() ? "About " + title : caption_));
    form->CopyrightLb->setText(
        QString::fromStdString(copyright_.empty() ? std::string(DefaultCopyright) : copyright_));
    form->DescriptionLb->setText(QString::fromStdString(description_));
    form->ProductLb->setText(QString::fromStdString(product_.empty() ? title : product_));
    AutoSize(form->ProductLb);
    AutoSize(form->CopyrightLb);

    form->AboutIm->SetPicture(TPicture::FromIcon(QApplication::windowIcon()));
    form->AboutIm->OnDblClick = OnIconDblClick;

    form->CustomBt->setVisible(!customButton_.empty());
    form->CustomBt->setText(QString::fromStdString(customButton_));
    if (OnCustomClick) {
        const TNotifyEvent click = OnCustomClick;
        QPushButton* button = form->CustomBt;
        QObject::connect(button, &QPushButton::clicked, form, [click, button] { click(button); });
    }

    form->MemoryLb->setText(QString::fromStdString(
        FormatFloat(form->MemoryLb->text().toStdString(), double(totalPhysicalBytes) / 1024.0)));
    AutoSize(form->MemoryLb);
    form->ResourcesLb->setText(
        QString::fromStdString(FormatInt(form->ResourcesLb->text().toStdString(), freeResources)));
    AutoSize(form->ResourcesLb);
    FitTexts(*form);
    return form;
}

void TEPAboutDialog::Execute() {
    TEPAboutDialogFm* form = CreateForm(TotalPhysicalMemory(), GetFreeSystemResources(0));
    form->exec();
    delete form;
}

int TEPAboutDialog::GetFreeSystemResources(int kind) {
    void* library = dlopen("RSRC32.DLL", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return 100;
    using Entry = int (*)(int);
    auto* entry = reinterpret_cast<Entry>(dlsym(library, "_MyGetFreeSystemResources32@4"));
    const int result = entry ? entry(kind) : 100;
    dlclose(library);
    return result;
}

std::uint64_t TEPAboutDialog::TotalPhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}

std::string FormatFloat(const std::string& format, double value) {
    std::string prefix, suffix;
    int zeros = 0;
    bool digits = false, thousands = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        std::string& literal = digits ? suffix : prefix;
        if (c == '"' || c == '\'') {
            const std::size_t end = format.find(c, i + 1);
            literal += format.substr(i + 1, end == std::string::npos ? end : end - i - 1);
            if (end == std::string::npos)
                break;
            i = end;
        } else if (c == '#' || c == '0' || c == ',') {
            digits = true;
            zeros += c == '0';
            thousands = thousands || c == ',';
        } else {
            literal += c;
        }
    }
    const double rounded = std::round(value);
    const bool negative = rounded < 0;
    std::string number;
    if (!(rounded == 0 && zeros == 0))
        number = std::to_string(static_cast<unsigned long long>(std::fabs(rounded)));
    while (int(number.size()) < zeros)
        number.insert(number.begin(), '0');
    if (thousands)
        for (int at = int(number.size()) - 3; at > 0; at -= 3)
            number.insert(std::size_t(at), 1, ',');
    return prefix + (negative ? "-" : "") + number + suffix;
}

} // namespace widgets
