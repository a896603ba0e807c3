// Files dropped on the window: one fills the row it lands on, two fill both rows in name
// order, anything that is not a PDF file is refused with the open-failure message.
#include <gtest/gtest.h>

#include <QApplication>
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

TEST(Drop, OneFileFillsTheRowItLandsOn) {
    const std::string pdf = WriteTempFile("dropped.pdf", SimpleDocument(1).Build());
    ShownWindow probe;
    const struct {
        const char* where;
        QPoint at;
        bool odd;
    } cases[] = {
        {"odd field", probe.window.Edit1.geometry().center(), true},
        {"odd caption", probe.window.Label1.geometry().center(), true},
        {"odd reverse button", probe.window.Button4.geometry().center(), true},
        {"even field", probe.window.Edit2.geometry().center(), false},
        {"check box", probe.window.CheckBox1.geometry().center(), false},
        {"progress bar", probe.window.ProgressBar1.geometry().center(), false},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.window.Edit1.setText(U("/before/odd.pdf"));
        w.window.Edit2.setText(U("/before/even.pdf"));
        EXPECT_TRUE(Drop(w.window, Files({pdf}), c.at)) << c.where;
        EXPECT_EQ(w.window.Edit1.text(), c.odd ? Q(pdf) : U("/before/odd.pdf")) << c.where;
        EXPECT_EQ(w.window.Edit2.text(), c.odd ? U("/before/even.pdf") : Q(pdf)) << c.where;
        EXPECT_TRUE(w.sink.messages.isEmpty()) << c.where;
    }
}

TEST(Drop, TwoFilesFillOddAndEvenInNameOrder) {
    const std::string scan9 = WriteTempFile("scan 9.pdf", SimpleDocument(1).Build());
    const std::string scan10 = WriteTempFile("scan 10.pdf", SimpleDocument(1).Build());
    const std::string a = WriteTempFile("a-odd.pdf", SimpleDocument(1).Build());
    const std::string b = WriteTempFile("b-even.pdf", SimpleDocument(1).Build());
    const std::string upper = WriteTempFile("B-upper.pdf", SimpleDocument(1).Build());
    const struct {
        QList<QUrl> urls;
        std::string odd, even;
    } cases[] = {
        // Numbers in names count as numbers: 9 before 10.
        {Files({scan10, scan9}), scan9, scan10},
        {Files({scan9, scan10}), scan9, scan10},
        {Files({b, a}), a, b},
        // Case does not count.
        {Files({upper, a}), a, upper},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        // Where two land does not matter.
        EXPECT_TRUE(Drop(w.window, c.urls, w.window.Edit2.geometry().center()));
        EXPECT_EQ(w.window.Edit1.text(), Q(c.odd));
        EXPECT_EQ(w.window.Edit2.text(), Q(c.even));
    }
}

TEST(Drop, WhatIsNoPdfFileIsRefusedAndTheFieldsStay) {
    const std::string pdf = WriteTempFile("good.pdf", SimpleDocument(1).Build());
    const std::string text = WriteTempFile("notes.pdf", "not a PDF at all\n");
    const std::string folder = pdf.substr(0, pdf.rfind('/'));
    const std::string absent = folder + "/gone.pdf";
    const struct {
        const char* what;
        QList<QUrl> urls;
        QString message;
    } cases[] = {
        {"a text file", Files({text}), U(kOpenFailed) + "\n" + Q(text)},
        {"a folder", Files({folder}), U(kOpenFailed) + "\n" + Q(folder)},
        {"a file that went away", Files({absent}), U(kOpenFailed) + "\n" + Q(absent)},
        {"one good and one bad", Files({pdf, text}), U(kOpenFailed) + "\n" + Q(text)},
        {"three files", Files({pdf, pdf, pdf}), U("一次只能拖入一个或两个PDF文件")},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.window.Edit1.setText(U("/before/odd.pdf"));
        EXPECT_TRUE(Drop(w.window, c.urls, w.window.Edit1.geometry().center())) << c.what;
        EXPECT_EQ(w.sink.messages, QStringList{c.message}) << c.what;
        EXPECT_EQ(w.window.Edit1.text(), U("/before/odd.pdf")) << c.what;
        EXPECT_TRUE(w.window.Edit2.text().isEmpty()) << c.what;
    }
    // A web address is not even taken up.
    ShownWindow w;
    EXPECT_FALSE(
        Drop(w.window, {QUrl(U("https://example.org/a.pdf"))}, w.window.Edit1.geometry().center()));
    EXPECT_TRUE(w.sink.messages.isEmpty());
}

TEST(Drop, AFileDroppedIsTheFolderTheChooserStartsIn) {
    const std::string pdf = WriteTempFile("folder-source.pdf", SimpleDocument(1).Build());
    ShownWindow w;
    ASSERT_TRUE(Drop(w.window, Files({pdf}), w.window.Edit1.geometry().center()));
    w.Click(w.window.Button2);
    EXPECT_EQ(w.chooser.startFolders, QStringList{Q(pdf.substr(0, pdf.rfind('/')))});
}

TEST(Drop, NothingIsTakenWhileARunIsWorking) {
    const std::string input = WriteTempFile("drop-busy.pdf", SimpleDocument(6).Build());
    const std::string other = WriteTempFile("drop-other.pdf", SimpleDocument(1).Build());
    ShownWindow w;
    w.window.Edit1.setText(Q(input));
    QTest::mouseClick(&w.window.Button4, Qt::LeftButton);
    ASSERT_TRUE(w.window.Running());
    EXPECT_FALSE(Drop(w.window, Files({other}), w.window.Edit1.geometry().center()));
    w.WaitForRun();
    EXPECT_EQ(w.window.Edit1.text(), Q(input));
}

}  // namespace
}  // namespace verava
