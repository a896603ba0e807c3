// Where the window's messages go. The program shows each one in a modal box with one OK
// button, titled with the application name; tests put a recorder in its place.
#pragma once

#include <QString>

class QWidget;

namespace verava {

// The title of every message box, and the application name.
inline constexpr char kApplicationTitle[] = "VERava";

class IMessageSink {
  public:
    virtual ~IMessageSink() = default;
    // Returns when the user has seen the message.
    virtual void Show(const QString& text) = 0;
};

// A modal message box over `parent`: no icon, one OK button, title kApplicationTitle.
class TMessageBoxSink : public IMessageSink {
  public:
    explicit TMessageBoxSink(QWidget* parent) : parent_(parent) {}
    void Show(const QString& text) override;

  private:
    QWidget* parent_;
};

}  // namespace verava
