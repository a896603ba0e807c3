// The window's language. Its texts are written in Chinese; English comes from verava_en.qm.
// Qt's own dialogs (the file chooser, the buttons of a message box) load qtbase_<lang>.qm for
// the same language, so one window never mixes the two.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <optional>

namespace verava {

enum class UiLanguage { Chinese, English };

// The language of `option` ("zh" or "en", from --lang) when given; otherwise Chinese for a
// Chinese system locale and English for any other. nullopt for an option naming neither.
std::optional<UiLanguage> ChooseLanguage(const QString& option, const QLocale& system);

// Where verava_en.qm is looked for, first match wins: the program's own folder (the build
// tree) and ../share/verava/translations beside it (installed, or an unpacked package).
QStringList TranslationFolders(const QString& programFolder);

// The translators of one language, installed on the application for the object's lifetime,
// and the matching default locale.
class TTranslations {
  public:
    TTranslations(UiLanguage language, const QStringList& folders);
    ~TTranslations();
    TTranslations(const TTranslations&) = delete;
    TTranslations& operator=(const TTranslations&) = delete;

    // The window's own texts are in the chosen language (always so for Chinese).
    bool WindowTextsLoaded() const { return windowLoaded_; }
    // Qt's texts for the language were found (qt6-translations-l10n).
    bool QtTextsLoaded() const { return qtLoaded_; }

  private:
    QTranslator window_;
    QTranslator qt_;
    bool windowLoaded_ = false;
    bool qtLoaded_ = false;
    bool windowInstalled_ = false;
    QLocale previousDefault_;
};

}  // namespace verava
