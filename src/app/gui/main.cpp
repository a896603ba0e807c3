// verava: the VERava window. A hidden option renders the window into an image and exits:
//   verava --screenshot OUT.png
#include <QApplication>
#include <QByteArray>
#include <QPixmap>
#include <QString>
#include <cstdio>
#include <cstring>

#include "app/gui/main_window.h"
#include "app/gui/message_sink.h"

int main(int argc, char** argv) {
    // The window is laid out in pixels at 96 dpi: one logical pixel is one device pixel,
    // whatever the screen's density.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(verava::kApplicationTitle));

    verava::TForm1 window;
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        window.show();
        QApplication::processEvents();
        if (!window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
            std::fprintf(stderr, "verava: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    window.show();
    return QApplication::exec();
}
