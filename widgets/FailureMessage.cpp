#include "widgets/FailureMessage.h"

#include <QMessageBox>

namespace utq {

void showFailureMessage(QWidget* parent, const QString& message) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("UT Server Query"), message,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace utq
