#pragma once

// A heading drawn from the data, such as the data file's comment: it takes
// at most a few lines at the width its window gives it and ends in "…" where
// the text goes on, so that a long comment neither widens the window nor
// pushes its charts away. text() stays the whole text, and so does the
// tooltip whenever the heading is cut.

#include <QLabel>

namespace relan::gui {

class HeadingLabel : public QLabel {
  public:
    explicit HeadingLabel(const char* objectName, int maxLines = 2, QWidget* parent = nullptr);

    void setHeading(const QString& text);
    // What is drawn at the present width, a line each.
    QStringList shownLines() const;
    bool isCut() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    struct Shown {
        QStringList lines;
        bool cut = false;
    };
    Shown layoutAt(int textWidth) const;
    int textWidth(int width) const;
    void updateToolTip();

    int maxLines_;
};

} // namespace relan::gui
