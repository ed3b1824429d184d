#include "retriever/postp/startform.h"

#include "retriever/settings.h"
#include "widgets/aboutdlg.h"

#include <QAction>

namespace postp {

TForm1::TForm1(QWidget* parent)
    : TTrayFormOf({"Quelta Mail Retreiver", "&Open...", {"Contents..."}, QColor(40, 140, 60)},
                  parent) {
    O1 = firstItem_;
    Contents1 = helpItems_[0];
    connect(O1, &QAction::triggered, this, [this] { O1Click(); });
    aboutD->SetProduct(retriever::kCaption);
}

} // namespace postp
