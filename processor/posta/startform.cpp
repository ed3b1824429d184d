#include "processor/posta/startform.h"

namespace posta {

TForm1::TForm1(QWidget* parent)
    : TTrayFormOf({"Quelta Agent Processor", "&Status...", {}, QColor(200, 40, 40)}, parent) {
    Status1 = firstItem_;
}

} // namespace posta
