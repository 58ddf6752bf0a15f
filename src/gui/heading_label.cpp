#include "heading_label.hpp"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace relan::gui {
namespace {

// More characters than any screen's lines can show; the rest is never laid
// out, so that the cost of a heading does not grow with its text.
constexpr int kLaidOutChars = 4000;

} // namespace

HeadingLabel::HeadingLabel(const char* objectName, int maxLines, QWidget* parent)
    : QLabel(parent), maxLines_(std::max(1, maxLines)) {
    setObjectName(objectName);
    // A comment is shown as typed, never as markup.
    setTextFormat(Qt::PlainText);
    // It does wrap, if by its own layout: whoever asks the label is told so.
    setWordWrap(true);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void HeadingLabel::setHeading(const QString& text) {
    setText(text);
    updateToolTip();
}

int HeadingLabel::textWidth(int width) const {
    const QMargins m = contentsMargins();
    return std::max(1, width - m.left() - m.right() - 2 * std::max(0, margin()));
}

HeadingLabel::Shown HeadingLabel::layoutAt(int width) const {
    Shown out;
    const QString all = text();
    if (all.isEmpty()) return out;
    const QString laid = all.left(kLaidOutChars);
    const QFontMetrics fm(font());
    QTextLayout layout(laid, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int start = 0;
    for (int i = 0; i + 1 < maxLines_; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        out.lines << laid.mid(line.textStart(), line.textLength()).trimmed();
        start = line.textStart() + line.textLength();
    }
    layout.endLayout();
    // The last line takes the rest, cut with "…" where it does not fit.
    const QString rest = laid.mid(start);
    if (rest.isEmpty()) return out;
    QString last = fm.elidedText(rest, Qt::ElideRight, width);
    if (last == rest && laid.size() < all.size()) {
        // Never reached but by a text longer than kLaidOutChars.
        last = fm.elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
        if (!last.endsWith(QChar(0x2026))) last += QChar(0x2026);
    }
    out.cut = last != rest || laid.size() < all.size();
    out.lines << last;
    return out;
}

QStringList HeadingLabel::shownLines() const {
    return layoutAt(textWidth(width())).lines;
}

bool HeadingLabel::isCut() const {
    return layoutAt(textWidth(width())).cut;
}

int HeadingLabel::heightForWidth(int width) const {
    const int lines = std::max<int>(1, static_cast<int>(layoutAt(textWidth(width)).lines.size()));
    const QMargins m = contentsMargins();
    return lines * QFontMetrics(font()).lineSpacing() + m.top() + m.bottom() + 2 * std::max(0, margin());
}

QSize HeadingLabel::sizeHint() const {
    // As wide as the text on one line, within reason: the window, not the
    // comment, decides the width.
    const QFontMetrics fm(font());
    const int one = fm.horizontalAdvance(text().left(kLaidOutChars));
    const int width = std::min(one, 60 * fm.averageCharWidth()) + contentsMargins().left() +
                      contentsMargins().right() + 2 * std::max(0, margin());
    return {width, heightForWidth(width)};
}

QSize HeadingLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    return {fm.horizontalAdvance(QStringLiteral("Ж…")) + m.left() + m.right(),
            fm.lineSpacing() + m.top() + m.bottom()};
}

void HeadingLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const int inset = std::max(0, margin());
    const QRect area = contentsRect().adjusted(inset, inset, -inset, -inset);
    const QStringList lines = layoutAt(area.width()).lines;
    const int step = QFontMetrics(font()).lineSpacing();
    const int height = static_cast<int>(lines.size()) * step;
    int y = area.top();
    if (alignment() & Qt::AlignVCenter) y += std::max(0, (area.height() - height) / 2);
    if (alignment() & Qt::AlignBottom) y += std::max(0, area.height() - height);
    const Qt::Alignment across = (alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    for (const QString& line : lines) {
        p.drawText(QRect(area.left(), y, area.width(), step), static_cast<int>(across), line);
        y += step;
    }
}

void HeadingLabel::resizeEvent(QResizeEvent* e) {
    QLabel::resizeEvent(e);
    updateToolTip();
}

void HeadingLabel::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        updateGeometry();
        updateToolTip();
    }
}

void HeadingLabel::updateToolTip() {
    // Rich text, so that the tooltip wraps rather than running off the screen.
    setToolTip(isCut() ? QStringLiteral("<p>") + text().toHtmlEscaped() + QStringLiteral("</p>") : QString());
}

} // namespace relan::gui
