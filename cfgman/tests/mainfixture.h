#pragma once
// The real main window offscreen, started as the program starts it, with
// the file dialogs and the launcher answered by the test, and the editor
// windows it opened.
#include "cfgman/core/outside.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessageeditor.h"
#include "cfgman/frmstatus.h"
#include "cfgman/tests/cfgfixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

namespace cfgtest {

class MainTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        PointIniAtTest();
        cfgman::SetSaveDialogHook([this](const cfgman::TOpenDialog&) { return saveAnswer_; });
        cfgman::SetLauncher([this](const std::vector<std::string>& argv) {
            started_.push_back(argv);
            return true;
        });
    }
    void TearDown() override {
        if (main_) {
            // Editors still open have nothing to ask about.
            for (cfgman::TMessageEditor* e : Editors())
                e->SetModified(false);
            main_->close();
            main_->SetStatusWindow(nullptr);
            status_.reset();
            main_.reset();
        }
        cfgman::SetSaveDialogHook({});
        cfgman::SetLauncher({});
        CfgTest::TearDown();
    }
    void Start() {
        main_ = std::make_unique<cfgman::TfrmMain>(root_ + "prog/");
        main_->FormCreate();
        status_ = std::make_unique<cfgman::TfrmStatus>(main_.get());
        main_->SetStatusWindow(status_.get());
        main_->show();
        QCoreApplication::processEvents();
    }
    // The editors shown, oldest first.
    std::vector<cfgman::TMessageEditor*> Editors() {
        std::vector<cfgman::TMessageEditor*> list;
        for (auto* e : main_->findChildren<cfgman::TMessageEditor*>())
            if (e->isVisible())
                list.push_back(e);
        return list;
    }
    template <typename T> T* LastEditor() {
        auto editors = Editors();
        return editors.empty() ? nullptr : qobject_cast<T*>(editors.back());
    }
    // A tree node below the root, by child indexes.
    QTreeWidgetItem* Node(std::initializer_list<int> path) {
        QTreeWidgetItem* n = main_->treeMain->topLevelItem(0);
        for (int i : path)
            n = n->child(i);
        return n;
    }
    void Select(QTreeWidgetItem* node) {
        main_->treeMain->setCurrentItem(node);
        QCoreApplication::processEvents();
    }
    static void SelectRow(QTreeView* list, int row) {
        list->setCurrentIndex(list->model()->index(row, 0));
        QCoreApplication::processEvents();
    }
    // A list's texts in a column, top to bottom.
    static QStringList Column(const QTreeView* list, int column) {
        QStringList texts;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            texts << list->model()->index(i, column).data().toString();
        return texts;
    }
    // The text in a column of a list's current row.
    static QString CurrentText(const QTreeView* list, int column) {
        return list->currentIndex().siblingAtColumn(column).data().toString();
    }
    // A double click with the mouse on a list's row, as the user gives it.
    static void DoubleClickRow(QTreeView* list, int row) {
        const QRect at = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at.center());
        QCoreApplication::processEvents();
    }
    // The texts of a menu's items, "-" for a separator.
    static std::vector<std::string> Items(const QMenu* menu) {
        std::vector<std::string> texts;
        for (QAction* a : menu->actions())
            texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return texts;
    }
    // The newest status-window line.
    std::string LastLine() {
        const QStringList lines = status_->Lines();
        return lines.isEmpty() ? std::string() : lines[0].toStdString();
    }

    std::unique_ptr<cfgman::TfrmMain> main_;
    std::unique_ptr<cfgman::TfrmStatus> status_;
    QString saveAnswer_;
    std::vector<std::vector<std::string>> started_;
};

} // namespace cfgtest
