#pragma once

// The pieces both windows are built from: geometry in twips and the flat image
// buttons.

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QToolButton>
#include <string_view>

#include "core/settings.h"

namespace zfe::gui {

// The program's UTF-8 text (names, paths, reports) as Qt's.
inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A rectangle given in twips, as the window layouts are, in device-independent
// pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(left / core::kTwipsPerPixel, top / core::kTwipsPerPixel, width / core::kTwipsPerPixel,
                 height / core::kTwipsPerPixel);
}

// The font both windows were laid out for, MS Sans Serif 8.25 pt. A wider or
// larger desktop font would cut the captions at their design widths, so the
// nearest installed sans serif is asked for in a narrow cut.
inline QFont designFont() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

// A flat button that rises under the pointer and shows its picture beside its
// caption. It takes the keyboard focus and shows it with the style's focus
// frame (which most styles draw only once the keyboard has moved the focus).
inline QToolButton* imageButton(QWidget* container, const char* name, const QString& caption,
                                const QRect& geometry) {
    auto* button = new QToolButton(container);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

inline QLabel* label(QWidget* container, const QString& name, const QString& caption,
                     const QRect& geometry) {
    auto* text = new QLabel(caption, container);
    // Labels show names and paths, which are never markup.
    text->setTextFormat(Qt::PlainText);
    text->setObjectName(name);
    text->setGeometry(geometry);
    return text;
}

// The wait cursor for as long as a long operation runs, put back however it
// ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace zfe::gui
