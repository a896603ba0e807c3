// Where the window's messages go. The program shows each one in a modal box titled with the
// application name; the message that ends a successful run also offers to open what was
// written. Tests put a recorder in its place.
#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

class QWidget;

namespace verava {

// The title of every message box, and the application name.
inline constexpr char kApplicationTitle[] = "VERava";

// What the user asked for when a run's success was reported.
enum class AfterDone { Close, OpenFolder, OpenFile };

class IMessageSink {
  public:
    virtual ~IMessageSink() = default;
    // Returns when the user has seen the message.
    virtual void Show(const QString& text) = 0;
    // A run has written a file: the message, and the user's choice of what to open.
    virtual AfterDone ShowDone(const QString& text) = 0;
    // A yes-or-no question; true for yes. No is what Esc and closing the box give.
    virtual bool Ask(const QString& question) = 0;
};

// Modal message boxes over `parent`, title kApplicationTitle, no icon: one OK button, and
// for a finished run also "open folder" and "open file".
class TMessageBoxSink : public IMessageSink {
  public:
    explicit TMessageBoxSink(QWidget* parent) : parent_(parent) {}
    void Show(const QString& text) override;
    AfterDone ShowDone(const QString& text) override;
    bool Ask(const QString& question) override;

    // The boxes ShowDone and Ask show, not yet shown (also for pictures of the window).
    static std::unique_ptr<QMessageBox> MakeDoneBox(QWidget* parent, const QString& text);
    static std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const QString& question);

  private:
    QWidget* parent_;
};

}  // namespace verava
