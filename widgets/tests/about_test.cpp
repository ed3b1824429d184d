// The about box's texts for given memory figures, and its buttons.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

#include "widgets/aboutdlg.h"
#include "widgets/epimage.h"

namespace widgets {
namespace {

TEST(AboutBox, FormatFloatTable) {
    const struct {
        const char* format;
        double value;
        const char* expected;
    } rows[] = {
        {"#,###\" KB\"", 65536.0, "65,536 KB"}, {"#,###\" KB\"", 999.0, "999 KB"},
        {"#,###\" KB\"", 1000.0, "1,000 KB"},   {"#,###\" KB\"", 8388608.0, "8,388,608 KB"},
        {"#,###\" KB\"", 0.0, " KB"},           {"0000", 7.4, "0007"},
        {"#,##0", -1234567.5, "-1,234,568"},    {"'<'#'>'", 12.0, "<12>"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatFloat(row.format, row.value), row.expected)
            << row.format << " " << row.value;
}

TEST(AboutBox, DefaultsAndMemoryFigures) {
    TEPAboutDialog about;
    std::unique_ptr<TEPAboutDialogFm> form(about.CreateForm(67108864ull, 100));
    EXPECT_EQ(form->windowTitle(), "About Quelta Tests");
    EXPECT_EQ(form->ProductLb->text(), "Quelta Tests");
    EXPECT_FALSE(form->CopyrightLb->text().isEmpty());
    EXPECT_EQ(form->MemoryLb->text(), "65,536 KB");
    EXPECT_EQ(form->ResourcesLb->text(), "100% Free");
    EXPECT_EQ(form->MemoryTextLb->text(), "Physical memory available to Windows:");
    EXPECT_EQ(form->ResourcesTextLb->text(), "System resources:");
    // The layout's size and places, grown only where this desktop's fonts
    // need more room.
    EXPECT_GE(form->width(), 342);
    EXPECT_GE(form->height(), 221);
    EXPECT_EQ(form->OKBt->size(), QSize(75, 23));
    EXPECT_EQ(form->width() - form->OKBt->geometry().right(), 342 - (256 + 75 - 1));
    EXPECT_EQ(form->EPBorder1->BorderStyle(), TEPBorderStyle::epbsHorizLine);
    EXPECT_TRUE(form->CustomBt->isHidden());
    EXPECT_TRUE(form->OKBt->isDefault());
    // Right-aligned figures keep their distance to the right edge.
    EXPECT_EQ(form->width() - form->MemoryLb->geometry().right(), 342 - (256 + 74 - 1));

    // 64-bit totals: 16 GiB is not cut to 32 bits.
    form.reset(about.CreateForm(17179869184ull, 42));
    EXPECT_EQ(form->MemoryLb->text(), "16,777,216 KB");
    EXPECT_EQ(form->ResourcesLb->text(), "42% Free");
}

TEST(AboutBox, OwnTextsAndTheCustomButton) {
    TEPAboutDialog about;
    about.SetCaption("Quelta");
    about.SetProduct("Quelta Agent Processor");
    about.SetCopyright("(c) Somebody");
    about.SetDescription("Runs agents.");
    about.SetCustomButton("Credits");
    int clicks = 0;
    about.OnCustomClick = [&](QObject* sender) { clicks += sender != nullptr; };
    std::unique_ptr<TEPAboutDialogFm> form(about.CreateForm(1024, 100));
    EXPECT_EQ(form->windowTitle(), "Quelta");
    EXPECT_EQ(form->ProductLb->text(), "Quelta Agent Processor");
    EXPECT_EQ(form->CopyrightLb->text(), "(c) Somebody");
    EXPECT_EQ(form->DescriptionLb->text(), "Runs agents.");
    EXPECT_EQ(form->MemoryLb->text(), "1 KB");
    EXPECT_FALSE(form->CustomBt->isHidden());
    EXPECT_EQ(form->CustomBt->text(), "Credits");
    form->CustomBt->click();
    EXPECT_EQ(clicks, 1);
}

// Every text whole: single lines as wide and as tall as they need, the
// description as tall as its wrapped lines, nothing outside the window and
// no figure over its caption.
void ExpectWhole(const TEPAboutDialogFm& form) {
    const QRect window = form.rect();
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        if (label->isHidden() || label->text().isEmpty())
            continue;
        const std::string text = label->text().toStdString();
        const QRect box = label->geometry();
        EXPECT_TRUE(window.contains(box)) << text;
        if (label->wordWrap()) {
            EXPECT_GE(box.height(), label->heightForWidth(box.width())) << text;
        } else {
            EXPECT_GE(box.width(), label->fontMetrics().horizontalAdvance(label->text())) << text;
            EXPECT_GE(box.height(), label->fontMetrics().height()) << text;
        }
    }
    EXPECT_LT(form.MemoryTextLb->geometry().right(), form.MemoryLb->geometry().left());
    EXPECT_LT(form.ResourcesTextLb->geometry().right(), form.ResourcesLb->geometry().left());
    EXPECT_LT(form.ResourcesTextLb->geometry().bottom(), form.OKBt->geometry().top());
    EXPECT_TRUE(window.contains(form.OKBt->geometry()));
}

TEST(AboutBox, EveryTextIsWholeInTheFontsOfThisDesktop) {
    TEPAboutDialog about;
    std::unique_ptr<TEPAboutDialogFm> form(about.CreateForm(17179869184ull, 100));
    ExpectWhole(*form);
    // A long description wraps onto more lines than the layout had room for.
    about.SetProduct("Quelta Mail Retreiver");
    about.SetDescription("Fetches the mail of every account whose schedule is due, by the "
                         "account's restrictions, into its pending folder, and deletes on the "
                         "server what the restrictions say, once it is stored.");
    form.reset(about.CreateForm(17179869184ull, 100));
    ExpectWhole(*form);
}

TEST(AboutBox, SystemFigures) {
    // No resource-meter library here: the fallback figure.
    EXPECT_EQ(TEPAboutDialog::GetFreeSystemResources(0), 100);
    EXPECT_GT(TEPAboutDialog::TotalPhysicalMemory(), 0u);
}

} // namespace
} // namespace widgets
