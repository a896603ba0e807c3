// How the window asks for the password of an encrypted file: a modal dialog whose input is
// masked, naming the file and saying when the last password was wrong. Tests put a script
// in its place.
#pragma once

#include <QInputDialog>
#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace verava {

class IPasswordPrompt {
  public:
    virtual ~IPasswordPrompt() = default;
    // The password typed for the file at `path`, or nullopt when the user cancelled.
    // `wrongBefore`: the password given last for this file did not open it.
    virtual std::optional<QString> AskPassword(const QString& path, bool wrongBefore) = 0;
};

class TPasswordDialogPrompt : public IPasswordPrompt {
  public:
    explicit TPasswordDialogPrompt(QWidget* parent) : parent_(parent) {}
    std::optional<QString> AskPassword(const QString& path, bool wrongBefore) override;

    // The dialog AskPassword shows, not yet shown (also for pictures of the window).
    static std::unique_ptr<QInputDialog> MakeDialog(QWidget* parent, const QString& path,
                                                    bool wrongBefore);

  private:
    QWidget* parent_;
};

}  // namespace verava
