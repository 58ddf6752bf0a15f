#include "widgets.hpp"

#include "qt_text.hpp"

#include "relan/version.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <cmath>

namespace relan::gui {

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QScrollArea* namedScroll(const char* name, QWidget* content) {
    auto* s = new QScrollArea;
    s->setObjectName(name);
    s->setWidget(content);
    s->setWidgetResizable(true);
    s->setFrameShape(QFrame::NoFrame);
    return s;
}

QLineEdit* namedEdit(const char* name, const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}

QPushButton* namedButton(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    // Enter belongs to the window's default button alone.
    b->setAutoDefault(false);
    return b;
}

QCheckBox* namedCheck(const char* name, const QString& text, bool checked, QWidget* parent) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    c->setChecked(checked);
    return c;
}

double fontScale() {
    const QFont f = QApplication::font();
    const double pt = f.pointSizeF() > 0 ? f.pointSizeF() : f.pixelSize() * 0.75;
    return std::max(1.0, pt / 9.0);
}

int scaledPx(int designedPx) {
    return static_cast<int>(std::lround(designedPx * fontScale()));
}

QFont scaledPixelFont(const QString& family, int designedPx, bool bold) {
    QFont f = family.isEmpty() ? QApplication::font() : QFont(family);
    f.setPixelSize(scaledPx(designedPx));
    f.setBold(bold);
    return f;
}

QFont headingFont() {
    QFont f = scaledPixelFont("Arial Black", 17, false);
    f.setWeight(QFont::Black);
    return f;
}

void widthForText(QLineEdit* e, const QString& sample) {
    QStyleOptionFrame opt;
    opt.initFrom(e);
    const QSize text(e->fontMetrics().horizontalAdvance(sample) + 12, e->fontMetrics().height());
    e->setMinimumWidth(e->style()->sizeFromContents(QStyle::CT_LineEdit, &opt, text, e).width());
}

void resizeToFitScreen(QWidget* window, const QSize& designed) {
    QSize size = designed;
    if (const QScreen* screen = window->screen() ? window->screen() : QApplication::primaryScreen())
        // Less room for a window manager's frame and title bar.
        size = size.boundedTo(screen->availableGeometry().size() - QSize(8, 36));
    window->resize(size.expandedTo(window->minimumSizeHint()));
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

QString titleWithVersion(const char* lead) {
    return QString::fromUtf8(lead) + QString::fromLatin1(kVersion);
}

} // namespace relan::gui
