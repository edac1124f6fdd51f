#include "app/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace vorkel {
namespace {

// System-modal as far as the platform allows: modal to the whole application and kept above
// every window, without an owner.
void makeSystemModal(QMessageBox& box) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

// Box texts are plain text: some carry text from outside the program (the name another
// process gave itself, a file name), and markup in them must show as it is, not be followed.
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}

} // namespace

void QtMessageBoxes::stop(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    showAsPlainText(box);
    makeSystemModal(box);
    box.exec();
}

bool QtMessageBoxes::confirm(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel);
    showAsPlainText(box);
    box.setDefaultButton(QMessageBox::Cancel);
    makeSystemModal(box);
    return box.exec() == QMessageBox::Ok;
}

void QtMessageBoxes::selfClosingInformation(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
    showAsPlainText(box);
    makeSystemModal(box);
    QTimer::singleShot(kSelfClosingMs, &box, &QMessageBox::accept);
    box.exec();
}

void QtMessageBoxes::notice(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    showAsPlainText(box);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true); // brought to the foreground
    box.exec();
}

} // namespace vorkel
