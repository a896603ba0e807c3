// Files dropped on the window: one fills the row it lands on, two fill both rows in name
// order, anything that is not a PDF file is refused with the open-failure message. Files
// named on the command line are taken the same way, landing on the odd row.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <string>

#include "app/gui/main_window.h"
#include "app/gui/shown_window.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::Q;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::WriteTempFile;

const char kOpenFailed[] = "文件无法打开，可能不是PDF文件或已损坏";

// Drags `urls` over the window and lets go at `at`, as the desktop would. False when the
// window refused the drag.
bool Drop(TForm1& window, const QList<QUrl>& urls, QPoint at) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

QList<QUrl> Files(std::initializer_list<std::string> paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.append(QUrl::fromLocalFile(Q(path)));
    return urls;
}

TEST(Drop, OneFileFillsTheRowItLandsOnAndTwoFillBothInNameOrder) {
    const std::string one = WriteTempFile("dropped.pdf", SimpleDocument(1).Build());
    const std::string scan9 = WriteTempFile("scan 9.pdf", SimpleDocument(1).Build());
    const std::string scan10 = WriteTempFile("Scan 10.pdf", SimpleDocument(1).Build());
    ShownWindow probe;
    const QPoint odd = probe.window.Edit1.geometry().center();
    const QPoint even = probe.window.Edit2.geometry().center();
    const struct {
        QList<QUrl> urls;
        QPoint at;
        QString odd, even;  // the fields afterwards; both held "/before/..." before
    } cases[] = {
        {Files({one}), odd, Q(one), U("/before/even.pdf")},
        {Files({one}), probe.window.Button4.geometry().center(), Q(one), U("/before/even.pdf")},
        {Files({one}), even, U("/before/odd.pdf"), Q(one)},
        {Files({one}), probe.window.CheckBox1.geometry().center(), U("/before/odd.pdf"), Q(one)},
        // Numbers count as numbers, case does not; where two land does not matter.
        {Files({scan10, scan9}), odd, Q(scan9), Q(scan10)},
        {Files({scan9, scan10}), even, Q(scan9), Q(scan10)},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.Choose("/before/odd.pdf", "/before/even.pdf");
        EXPECT_TRUE(Drop(w.window, c.urls, c.at));
        EXPECT_EQ(w.window.Edit1.text(), c.odd);
        EXPECT_EQ(w.window.Edit2.text(), c.even);
        EXPECT_TRUE(w.sink.messages.isEmpty());
        // The chooser now starts where the dropped files are.
        w.Click(w.window.Button1);
        EXPECT_EQ(w.chooser.startFolders, QStringList{Q(one.substr(0, one.rfind('/')))});
    }
}

TEST(Drop, WhatIsNoPdfFileIsRefusedAndTheFieldsStay) {
    const std::string pdf = WriteTempFile("good.pdf", SimpleDocument(1).Build());
    const std::string text = WriteTempFile("notes.pdf", "not a PDF at all\n");
    const std::string folder = pdf.substr(0, pdf.rfind('/'));
    const struct {
        QList<QUrl> urls;
        QString message;
    } cases[] = {
        {Files({text}), U(kOpenFailed) + "\n" + Q(text)},
        {Files({folder}), U(kOpenFailed) + "\n" + Q(folder)},
        {Files({pdf, text}), U(kOpenFailed) + "\n" + Q(text)},
        {Files({pdf, pdf, pdf}), U("一次只能拖入一个或两个PDF文件")},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        EXPECT_TRUE(Drop(w.window, c.urls, w.window.Edit1.geometry().center()));
        EXPECT_EQ(w.sink.messages, QStringList{c.message});
        EXPECT_TRUE(w.window.Edit1.text().isEmpty());
        EXPECT_TRUE(w.window.Edit2.text().isEmpty());
    }
    // Neither a web address nor anything during a run is taken up.
    ShownWindow w;
    EXPECT_FALSE(Drop(w.window, {QUrl(U("https://example.org/a.pdf"))}, QPoint(100, 30)));
    const QString busy = Q(WriteTempFile("drop-busy.pdf", SimpleDocument(6).Build()));
    w.window.Edit1.setText(busy);
    QTest::mouseClick(&w.window.Button4, Qt::LeftButton);
    EXPECT_FALSE(Drop(w.window, Files({pdf}), QPoint(100, 30)));
    w.WaitForRun();
    EXPECT_EQ(w.window.Edit1.text(), busy);
}

// The desktop's "open with" passes the chosen files: one fills the odd row, two both rows in
// name order; of more, the first two in name order are taken and the rest named as not
// opened. A name relative to the folder the program started in is made whole.
TEST(OpenFiles, FillTheRowsAsDroppedFilesDoAndNameWhatWasLeft) {
    const std::string one = WriteTempFile("opened.pdf", SimpleDocument(1).Build());
    const std::string scan9 = WriteTempFile("scan 9.pdf", SimpleDocument(1).Build());
    const std::string scan10 = WriteTempFile("Scan 10.pdf", SimpleDocument(1).Build());
    const std::string scan11 = WriteTempFile("scan 11.pdf", SimpleDocument(1).Build());
    const std::string text = WriteTempFile("opened-notes.pdf", "not a PDF at all\n");
    const QString folder = Q(one.substr(0, one.rfind('/')));
    const struct {
        QStringList given;
        QString odd, even;
        QStringList messages;
    } cases[] = {
        {{Q(one)}, Q(one), {}, {}},
        {{Q(scan10), Q(scan9)}, Q(scan9), Q(scan10), {}},
        {{Q(scan11), Q(one), Q(scan10), Q(scan9)},
         Q(one),
         Q(scan9),
         {U("一次只能打开一个或两个PDF文件，以下2个文件没有打开：\n") + Q(scan10) + U("\n") +
          Q(scan11)}},
        {{U("scan 9.pdf")}, Q(scan9), {}, {}},
        {{Q(text)}, {}, {}, {U(kOpenFailed) + "\n" + Q(text)}},
    };
    const QString startedIn = QDir::currentPath();
    QDir::setCurrent(folder);
    for (const auto& c : cases) {
        ShownWindow w;
        w.window.OpenFiles(c.given);
        EXPECT_EQ(w.window.Edit1.text(), c.odd) << c.given.join(U(",")).toStdString();
        EXPECT_EQ(w.window.Edit2.text(), c.even) << c.given.join(U(",")).toStdString();
        EXPECT_EQ(w.sink.messages, c.messages) << c.given.join(U(",")).toStdString();
    }
    QDir::setCurrent(startedIn);
}

}  // namespace
}  // namespace verava
