#include "programmer/gui/application_setup.h"

#include <QApplication>
#include <QStyleFactory>

namespace gui {

void setUpApplication(QApplication& application) {
    QApplication::setApplicationName(kApplicationName);
    // The same look on every desktop, so that the row colours and frames read the same everywhere.
    if (QStyle* style = QStyleFactory::create("Fusion"))
        application.setStyle(style);
}

}  // namespace gui
