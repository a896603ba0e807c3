// verava: the VERava window.
//   verava [--lang zh|en] [FILE...]
// One file fills the odd row, two fill both rows in name order (as the desktop's "open with"
// passes them); of more, the first two in name order are taken and the window names the rest.
// A hidden option renders the window into an image and exits (scripts/screenshot):
//   verava [--lang zh|en] --screenshot OUT.png [--state NAME]
#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "app/gui/main_window.h"
#include "app/gui/message_sink.h"
#include "app/gui/translations.h"
#include "app/gui/window_pictures.h"

namespace {

int Usage(const QString& problem) {
    std::fprintf(stderr,
                 "verava: %s\nusage: verava [--lang zh|en] [FILE...]\n"
                 "       verava [--lang zh|en] --screenshot OUT.png [--state NAME]\n",
                 problem.toLocal8Bit().constData());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's high-DPI scaling stays on: the pixel layout is in logical pixels and grows with
    // the screen's factor (100 % to 200 %).
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(verava::kApplicationTitle));
    QApplication::setOrganizationName(QString::fromLatin1(verava::kApplicationTitle));

    QString lang;
    QString screenshot;
    QString state = QStringLiteral("empty");
    QStringList files;
    bool optionsEnded = false;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            files.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString* into = arg == QLatin1String("--lang")         ? &lang
                        : arg == QLatin1String("--screenshot") ? &screenshot
                        : arg == QLatin1String("--state")      ? &state
                                                               : nullptr;
        if (into == nullptr) return Usage(QStringLiteral("unknown argument ") + arg);
        if (i + 1 >= args.size()) return Usage(arg + QStringLiteral(" needs a value"));
        *into = args[++i];
    }
    const std::optional<verava::UiLanguage> language =
        verava::ChooseLanguage(lang, QLocale::system());
    if (!language) return Usage(QStringLiteral("--lang takes zh or en"));
    const verava::TTranslations translations(
        *language, verava::TranslationFolders(QApplication::applicationDirPath()));
    if (!translations.WindowTextsLoaded()) {
        std::fprintf(stderr, "verava: verava_en.qm not found; the window stays in Chinese\n");
    }

    if (!screenshot.isEmpty()) {
        QString error;
        if (!verava::RenderWindowPicture(state, screenshot, &error)) {
            std::fprintf(stderr, "verava: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    verava::TForm1 window;
    window.show();
    // Once the window is up, so that a message about the files sits over it.
    if (!files.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
    }
    return QApplication::exec();
}
