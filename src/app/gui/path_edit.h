// A read-only box that holds a file's full path and shows it whole when it fits, otherwise
// elided in the middle ("/home/ming/sc…/contract-odd.pdf"): the start says where the file
// lives and the end which file it is. The full path is its tooltip; text() is always the
// full path, for the workflows. A selection shows the plain text, so it can be scrolled.
#pragma once

#include <QLineEdit>
#include <QString>

class QPaintEvent;

namespace verava {

class TPathEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit TPathEdit(QWidget* parent = nullptr);

    // What the box shows at its present width.
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Where QLineEdit draws its line of text.
    QRect TextRect() const;
};

}  // namespace verava
