#include "app/gui/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace verava {

std::optional<UiLanguage> ChooseLanguage(const QString& option, const QLocale& system) {
    if (option == QLatin1String("zh")) return UiLanguage::Chinese;
    if (option == QLatin1String("en")) return UiLanguage::English;
    if (!option.isEmpty()) return std::nullopt;
    return system.language() == QLocale::Chinese ? UiLanguage::Chinese : UiLanguage::English;
}

QStringList TranslationFolders(const QString& programFolder) {
    const QDir program(programFolder);
    return {
        program.absolutePath(),
        QDir::cleanPath(program.absoluteFilePath(QStringLiteral("../share/verava/translations")))};
}

TTranslations::TTranslations(UiLanguage language, const QStringList& folders)
    : previousDefault_(QLocale()) {
    const bool chinese = language == UiLanguage::Chinese;
    if (chinese) {
        windowLoaded_ = true;  // the source texts
    } else {
        for (const QString& folder : folders) {
            if (window_.load(QStringLiteral("verava_en"), folder)) {
                windowLoaded_ = true;
                break;
            }
        }
        if (windowLoaded_) windowInstalled_ = QCoreApplication::installTranslator(&window_);
    }
    // The window's texts are Simplified Chinese, so Qt's are too, whatever the region.
    const QString qtName = chinese ? QStringLiteral("qtbase_zh_CN") : QStringLiteral("qtbase_en");
    qtLoaded_ = qt_.load(qtName, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (qtLoaded_) QCoreApplication::installTranslator(&qt_);

    // Dates and numbers in Qt's dialogs follow the language too; a system locale of that
    // language keeps its own region.
    const QLocale::Language wanted = chinese ? QLocale::Chinese : QLocale::English;
    const QLocale system = QLocale::system();
    QLocale::setDefault(system.language() == wanted
                            ? system
                            : QLocale(wanted, chinese ? QLocale::China : QLocale::UnitedStates));
}

TTranslations::~TTranslations() {
    if (qtLoaded_) QCoreApplication::removeTranslator(&qt_);
    if (windowInstalled_) QCoreApplication::removeTranslator(&window_);
    QLocale::setDefault(previousDefault_);
}

}  // namespace verava
