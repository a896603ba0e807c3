// Stand-ins for what the window talks to: the sink records each message (and answers a
// finished run's offer from a script), the chooser and the password prompt answer from
// scripts and remember what they were asked, the opener records what it was told to open.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "app/gui/file_chooser.h"
#include "app/gui/message_sink.h"
#include "app/gui/password_prompt.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl& url, std::ostream* out) { *out << url.toString().toStdString(); }

namespace verava::testing {

class RecordingSink : public IMessageSink {
  public:
    void Show(const QString& text) override { messages.append(text); }
    AfterDone ShowDone(const QString& text) override {
        messages.append(text);
        ++doneMessages;
        return afterDone;
    }
    bool Ask(const QString& question) override {
        questions.append(question);
        if (answers.empty()) return answer;
        const bool next = answers.front();
        answers.pop_front();
        return next;
    }
    QStringList messages;
    QStringList questions;
    std::deque<bool> answers;  // what Ask answers in turn, then
    bool answer = false;       // what it answers once those are used up
    int doneMessages = 0;
    AfterDone afterDone = AfterDone::Close;
};

class ScriptedChooser : public IFileChooser {
  public:
    // Each answer is one dialog: a path, or empty for cancel.
    QString ChooseFile(const QString& startFolder) override {
        ++calls;
        startFolders.append(startFolder);
        if (answers.empty()) return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    QStringList startFolders;
    int calls = 0;
};

class ScriptedPrompt : public IPasswordPrompt {
  public:
    // Each answer is one prompt: a password, or nullopt for cancel (also when none is left).
    std::optional<QString> AskPassword(const QString& path, bool wrongBefore) override {
        asked.emplace_back(path, wrongBefore);
        if (answers.empty()) return std::nullopt;
        const std::optional<QString>& answer = answers.front();
        const QString password = answer.value_or(QString());
        const bool cancelled = !answer.has_value();
        answers.pop_front();
        if (cancelled) return std::nullopt;
        return password;
    }
    std::deque<std::optional<QString>> answers;
    std::vector<std::pair<QString, bool>> asked;  // (path, wrongBefore)
};

}  // namespace verava::testing
