// What the window tests share: a shown window wired to the fakes, and small Qt conversions.
#pragma once

#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/window_fakes.h"

namespace verava::testing {

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }
inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The first argument of every signal a spy caught, as integers.
inline std::vector<int> Values(const QSignalSpy& spy) {
    std::vector<int> values;
    for (const QList<QVariant>& call : spy) values.push_back(call.at(0).toInt());
    return values;
}

// A window with recorded messages and a scripted dialog, shown on the screen.
struct ShownWindow {
    RecordingSink sink;
    ScriptedChooser chooser;
    TForm1 window{&sink, &chooser};
    ShownWindow() {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // Types the two paths into the odd and even fields.
    void Choose(const std::string& odd, const std::string& even) {
        window.Edit1.setText(Q(odd));
        window.Edit2.setText(Q(even));
    }
};

}  // namespace verava::testing
