#include "ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/AppTitle.h"

namespace {

QMessageBox::Icon BoxIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Stop:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtDialogs::Message(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Ok, parent);
    // Texts may carry names from posts and servers: never rendered as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogs::Question(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::Confirm(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

Dialogs::Answer QtDialogs::YesNoCancel(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

QString QtDialogs::OpenFileName(QWidget* parent, const QString& initial, const QString& defaultSuffix,
                                const QString& filters) {
    QFileDialog dialog(parent, "Open", initial, filters);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().front();
}

void QtDialogs::Beep(int, int) {
    // The desktop's bell has neither pitch nor length.
    QApplication::beep();
}

void QtDialogs::About(QWidget* parent) {
    QMessageBox box(QMessageBox::Information, "About Spindrel",
                    QString("%1\nFire & Forget Binary Downloading").arg(kAppTitle), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setIconPixmap(QApplication::windowIcon().pixmap(48, 48));
    box.exec();
}
