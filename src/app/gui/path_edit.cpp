#include "app/gui/path_edit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace verava {
namespace {

// QLineEdit's own margins around its text, inside the style's contents rectangle.
constexpr int kHorizontalMargin = 2;

}  // namespace

TPathEdit::TPathEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        setToolTip(text);
        update();
    });
}

QRect TPathEdit::TextRect() const {
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this);
    r = r.marginsRemoved(textMargins());
    return r.adjusted(kHorizontalMargin, 0, -kHorizontalMargin, 0);
}

QString TPathEdit::ShownText() const {
    if (hasSelectedText()) return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextRect().width());
}

void TPathEdit::paintEvent(QPaintEvent* event) {
    const QString shown = ShownText();
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    // The frame as QLineEdit draws it, then the shortened path where its text would be.
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    const QRect r = TextRect();
    const int lineHeight = fontMetrics().height();
    const QRect line(r.x(), r.y() + (r.height() - lineHeight + 1) / 2, r.width(), lineHeight);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

}  // namespace verava
