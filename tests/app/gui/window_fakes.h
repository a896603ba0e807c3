// Stand-ins for the window's message boxes and file-open dialog: the sink records each
// message, the chooser answers from a script and counts how often it was asked.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <ostream>

#include "app/gui/file_chooser.h"
#include "app/gui/message_sink.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace verava::testing {

class RecordingSink : public IMessageSink {
  public:
    void Show(const QString& text) override { messages.append(text); }
    QStringList messages;
};

class ScriptedChooser : public IFileChooser {
  public:
    // Each answer is one dialog: a path, or empty for cancel.
    QString ChooseFile() override {
        ++calls;
        if (answers.empty()) return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    int calls = 0;
};

}  // namespace verava::testing
