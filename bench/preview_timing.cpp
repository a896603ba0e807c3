// preview_timing ODD.pdf EVEN.pdf [--reverse-even] [--runs N]: how long the window's order
// preview takes, on Qt's offscreen platform. Each run clicks 预览顺序 in a fresh window and
// prints the milliseconds from the click until the dialog is shown, until it is first
// painted, and until every thumbnail is in; then it flips the dialog's check box and prints
// the time until the re-ordered thumbnails are in. The best of the runs comes last.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/gui/main_window.h"
#include "app/gui/message_sink.h"
#include "app/gui/order_preview.h"

namespace {

class QuietSink : public verava::IMessageSink {
  public:
    void Show(const QString& text) override {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    verava::AfterDone ShowDone(const QString&) override { return verava::AfterDone::Close; }
    bool Ask(const QString&) override { return false; }
};

// Notes when the first order preview is shown and first painted.
class ShowWatch : public QObject {
  public:
    explicit ShowWatch(const QElapsedTimer& clock) : clock_(clock) {}
    qint64 shown = -1;
    qint64 painted = -1;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (qobject_cast<verava::TOrderPreview*>(object) != nullptr) {
            if (event->type() == QEvent::Show && shown < 0) shown = clock_.elapsed();
            if (event->type() == QEvent::Paint && painted < 0) painted = clock_.elapsed();
        }
        return false;
    }

  private:
    const QElapsedTimer& clock_;
};

// Runs the event loop until `done` holds or a minute has passed; false on the latter.
template <typename Done>
bool WaitFor(Done done) {
    QElapsedTimer limit;
    limit.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || limit.elapsed() > 60000) loop.quit();
    });
    tick.start(1);
    if (!done()) loop.exec();
    return done();
}

struct Times {
    qint64 shown, painted, pictures, flipped;
};

bool RunOnce(const QString& odd, const QString& even, bool reverseEven, Times* times) {
    QTemporaryDir scratch;
    QSettings settings(scratch.filePath(QStringLiteral("timing.ini")), QSettings::IniFormat);
    QuietSink sink;
    verava::TWindowHooks hooks;
    hooks.messages = &sink;
    hooks.settings = &settings;
    verava::TForm1 window(hooks);
    window.Edit1.setText(odd);
    window.Edit2.setText(even);
    window.CheckBox1.setChecked(reverseEven);
    window.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    ShowWatch watch(clock);
    qApp->installEventFilter(&watch);
    clock.start();
    window.Button6.click();
    const bool in = WaitFor([&] {
        return window.Preview() != nullptr && window.Preview()->isVisible() &&
               window.Preview()->AllPicturesIn();
    });
    times->pictures = clock.elapsed();
    qApp->removeEventFilter(&watch);
    times->shown = watch.shown;
    times->painted = watch.painted;
    if (!in) return false;

    verava::TOrderPreview* preview = window.Preview();
    clock.restart();
    preview->EvenReversedBox.click();
    if (!WaitFor([&] { return preview->AllPicturesIn(); })) return false;
    times->flipped = clock.elapsed();
    int undrawn = 0;
    for (const verava::TPageTile* tile : preview->Tiles()) {
        if (tile->PictureState() != verava::TPageTile::State::Drawn) ++undrawn;
    }
    if (undrawn > 0) std::fprintf(stderr, "%d thumbnails could not be drawn\n", undrawn);
    preview->reject();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: preview_timing ODD.pdf EVEN.pdf [--reverse-even] [--runs N]\n");
        return 2;
    }
    bool reverseEven = false;
    int runs = 3;
    for (int i = 3; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--reverse-even")) {
            reverseEven = true;
        } else if (arg == QLatin1String("--runs") && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "preview_timing: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    const QString odd = QString::fromLocal8Bit(argv[1]);
    const QString even = QString::fromLocal8Bit(argv[2]);
    std::printf("%5s %9s %11s %14s %13s\n", "run", "shown-ms", "painted-ms", "thumbnails-ms",
                "re-order-ms");
    Times best{-1, -1, -1, -1};
    for (int run = 1; run <= runs; ++run) {
        Times t{};
        if (!RunOnce(odd, even, reverseEven, &t)) {
            std::fprintf(stderr, "preview_timing: the preview did not open or fill in\n");
            return 1;
        }
        std::printf("%5d %9lld %11lld %14lld %13lld\n", run, static_cast<long long>(t.shown),
                    static_cast<long long>(t.painted), static_cast<long long>(t.pictures),
                    static_cast<long long>(t.flipped));
        auto keep = [](qint64& to, qint64 v) { to = to < 0 ? v : std::min(to, v); };
        keep(best.shown, t.shown);
        keep(best.painted, t.painted);
        keep(best.pictures, t.pictures);
        keep(best.flipped, t.flipped);
    }
    std::printf("%5s %9lld %11lld %14lld %13lld\n", "best", static_cast<long long>(best.shown),
                static_cast<long long>(best.painted), static_cast<long long>(best.pictures),
                static_cast<long long>(best.flipped));
    return 0;
}
