#pragma once

// Building blocks of the windows: named controls that take their size from
// the font, and windows that fit the screen they open on.

#include <QString>

class QCheckBox;
class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSize;
class QWidget;

namespace relan::gui {

// Controls carry the names the rest of the program and its tests find them by.
QLabel* namedLabel(const char* name, const QString& text, QWidget* parent = nullptr);
QLineEdit* namedEdit(const char* name, const QString& text, QWidget* parent = nullptr);
QPushButton* namedButton(const char* name, const QString& text, QWidget* parent = nullptr);
QCheckBox* namedCheck(const char* name, const QString& text, bool checked, QWidget* parent = nullptr);
// A frameless scroll area whose `content` takes its whole width and height
// until the content's least size no longer fits, then scrolls.
QScrollArea* namedScroll(const char* name, QWidget* content);

// A window title ending in the program's version as project() sets it:
// `lead` is everything before the version number.
QString titleWithVersion(const char* lead);

// How much larger the user's font is than the 9 pt the designed pixel sizes
// of headings and charts were chosen for; never below 1.
double fontScale();
int scaledPx(int designedPx);
QFont scaledPixelFont(const QString& family, int designedPx, bool bold);

// A number field as wide as `sample` needs in the field's font.
void widthForText(QLineEdit* e, const QString& sample);

// The wait cursor while an object of this lives: for work done on the
// window's thread that may take a moment.
struct BusyCursor {
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The designed size, or the screen's available area where that is smaller;
// never below what the layout needs.
void resizeToFitScreen(QWidget* window, const QSize& designed);

} // namespace relan::gui
