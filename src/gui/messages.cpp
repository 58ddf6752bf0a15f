#include "messages.hpp"

#include "relan/error.hpp"

#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <new>

namespace relan::gui {
namespace {
MessageHook& hook() {
    static MessageHook h;
    return h;
}
} // namespace

void setMessageHook(MessageHook h) {
    hook() = std::move(h);
}

void showError(QWidget* parent, const QString& caption, const QString& text) {
    const QString title = caption.isEmpty() && parent ? parent->window()->windowTitle() : caption;
    if (hook()) {
        hook()(title, text);
        return;
    }
    QMessageBox::critical(parent, title, text);
}

bool askYesNo(QWidget* parent, const QString& caption, const QString& text) {
    const QString title = caption.isEmpty() && parent ? parent->window()->windowTitle() : caption;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName("Question");
    box.button(QMessageBox::Yes)->setText(QString::fromUtf8("Да"));
    box.button(QMessageBox::No)->setText(QString::fromUtf8("Нет"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void showException(QWidget* parent, const std::exception& e) {
    if (const auto* err = dynamic_cast<const Error*>(&e)) {
        showError(parent, QString::fromStdString(err->caption()), QString::fromStdString(err->what()));
    } else if (dynamic_cast<const std::bad_alloc*>(&e)) {
        showError(parent, {}, QString::fromUtf8("Недостаточно памяти для выполнения операции"));
    } else {
        // Not a refusal the program foresaw: said in Russian all the same,
        // with the library's own words for whoever looks into it.
        showError(parent, {},
                  QString::fromUtf8("Внутренняя ошибка программы: ") + QString::fromStdString(e.what()));
    }
}

} // namespace relan::gui
