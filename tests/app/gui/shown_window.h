// What the window tests share: a shown window wired to the fakes and to settings of its
// own, and small Qt conversions.
#pragma once

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/window_fakes.h"

namespace verava::testing {

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }
inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The outputs' names worked out here by hand. A reverse: every ".pdf" becomes "_重排后.pdf".
inline std::string Reversed(std::string path) {
    const std::string from = ".pdf";
    const std::string to = "_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf";
    for (size_t at = path.find(from); at != std::string::npos; at = path.find(from, at)) {
        path.replace(at, from.size(), to);
        at += to.size();
    }
    return path;
}

// A merge: the odd file's folder, both names without ".pdf", "_合并后.pdf".
inline std::string MergedName(const std::string& odd, const std::string& even) {
    auto stem = [](const std::string& path) {
        std::string name = path.substr(path.rfind('/') + 1);
        return name.substr(0, name.size() - 4);
    };
    return odd.substr(0, odd.rfind('/') + 1) + stem(odd) + "_" + stem(even) +
           "_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf";
}

// The first argument of every signal a spy caught, as integers.
inline std::vector<int> Values(const QSignalSpy& spy) {
    std::vector<int> values;
    for (const QList<QVariant>& call : spy) values.push_back(call.at(0).toInt());
    return values;
}

// The bar as a run moves it: forward only, at least `steps` positions before the end, and
// full (100) once, at the end.
inline ::testing::AssertionResult MovesForwardToFull(const std::vector<int>& values,
                                                     size_t steps = 1) {
    if (values.size() > steps && std::is_sorted(values.begin(), values.end()) &&
        values.back() == 100 && std::count(values.begin(), values.end(), 100) == 1) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the bar moved " << ::testing::PrintToString(values);
}

// Runs `act` on the modal dialog once it is up; the caller then blocks in its exec(). If
// none shows within five seconds, every open dialog is rejected so the test fails instead
// of hanging.
inline void WhenModalShows(std::function<void(QWidget*)> act, int triesLeft = 500) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            act(modal);
        } else if (triesLeft > 0) {
            WhenModalShows(act, triesLeft - 1);
        } else {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
            }
        }
    });
}

// Settings in a scratch folder, so tests neither see nor change the user's. Several windows
// may share one to see what an earlier window remembered.
struct ScratchSettings {
    QTemporaryDir folder;
    QSettings settings{folder.filePath(QStringLiteral("verava.ini")), QSettings::IniFormat};
};

// A window with recorded messages, a scripted dialog and prompt, shown on the screen.
struct ShownWindow {
    RecordingSink sink;
    ScriptedChooser chooser;
    ScriptedPrompt prompt;
    std::vector<QUrl> opened;
    bool openSucceeds = true;
    std::shared_ptr<ScratchSettings> scratch;
    std::unique_ptr<TForm1> owned;
    TForm1& window;

    explicit ShownWindow(std::shared_ptr<ScratchSettings> settings = nullptr)
        : scratch(settings ? std::move(settings) : std::make_shared<ScratchSettings>()),
          owned(std::make_unique<TForm1>(Hooks())),
          window(*owned) {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    TWindowHooks Hooks() {
        TWindowHooks hooks;
        hooks.messages = &sink;
        hooks.chooser = &chooser;
        hooks.passwords = &prompt;
        hooks.settings = &scratch->settings;
        hooks.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return openSucceeds;
        };
        return hooks;
    }
    // Types the two paths into the odd and even fields.
    void Choose(const std::string& odd, const std::string& even) {
        window.Edit1.setText(Q(odd));
        window.Edit2.setText(Q(even));
    }
    // Waits until the run a click started has ended, its messages shown.
    void WaitForRun() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window.Running(); }, 60000));
    }
    // Clicks a button as a user would, and waits for what it started.
    void Click(QAbstractButton& button) {
        QTest::mouseClick(&button, Qt::LeftButton);
        WaitForRun();
    }
};

}  // namespace verava::testing
