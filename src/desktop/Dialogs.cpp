#include "desktop/Dialogs.h"

#include <QDialog>
#include <QMessageBox>

namespace nimbuscope {

void QtDialogs::messageBox(const QString& text, QWidget* parent) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

int QtDialogs::showModal(QDialog& dialog) {
    return dialog.exec();
}

} // namespace nimbuscope
