#include "app/gui/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>

#include "app/gui/file_chooser.h"
#include "app/gui/message_sink.h"

namespace verava {
namespace {

const char kCaption[] = "扫描PDF文件奇偶合并器            Orvane_harrow88";
const char kChooseCaption[] = "选择";
const char kReverseCaption[] = "逆序重排";

const char kInputMissing[] = "请先选择文件，或者选择的文件不存在！";
const char kReversed[] = "文件已经重排，请查看后重新选择";
const char kOpenFailed[] = "文件无法打开，可能不是PDF文件或已损坏";
const char kPasswordRequired[] = "文件已加密，需要密码才能打开";
const char kSaveFailed[] = "文件保存失败：";

const char kMergeInputMissing[] = "奇数页文件或偶数页文件不存在";
const char kMergeCountRule[] = "奇数页应等于偶数页或多1页，请检查";
const char kMerged[] = "文件已经合并，保存在奇数页文件所在位置";
const char kMergeEncrypted[] = "文件已加密，无法合并，请先去除密码";
const char kMergeUnreadable[] = "文件无法读取或已损坏，无法合并";
const char kMergeOutputLocked[] = "无法覆盖已存在的输出文件：";
const char kMergeFailed[] = "文件合并失败";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// "宋体" at 12 pixels; where it is not installed (outside Chinese Windows) the next family
// that has the glyphs stands in.
QFont WindowFont() {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("SimSun"), QStringLiteral("宋体"),
                                 QStringLiteral("Noto Sans CJK SC"),
                                 QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

// Clears the running flag however the run ends.
class RunningScope {
  public:
    explicit RunningScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningScope() { flag_ = false; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

TForm1::TForm1(IMessageSink* messages, IFileChooser* chooser, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      messages_(messages),
      chooser_(chooser) {
    if (messages_ == nullptr) {
        ownMessages_ = std::make_unique<TMessageBoxSink>(this);
        messages_ = ownMessages_.get();
    }

    setWindowTitle(Text(kCaption));
    setFixedSize(395, 113);
    setFont(WindowFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);

    Label1.setText(Text("奇数页文件："));
    Label1.setGeometry(6, 24, 72, 12);
    Label2.setText(Text("偶数页文件："));
    Label2.setGeometry(6, 60, 72, 12);
    Edit1.setReadOnly(true);
    Edit1.setGeometry(78, 22, 205, 20);
    Edit2.setReadOnly(true);
    Edit2.setGeometry(78, 58, 205, 20);
    Button1.setText(Text(kChooseCaption));
    Button1.setGeometry(293, 22, 38, 19);
    Button2.setText(Text(kChooseCaption));
    Button2.setGeometry(293, 59, 38, 18);
    Button3.setText(Text("开始合并"));
    Button3.setGeometry(293, 82, 79, 25);
    ProgressBar1.setRange(0, 100);
    ProgressBar1.setValue(0);
    ProgressBar1.setTextVisible(false);
    ProgressBar1.setGeometry(6, 86, 277, 15);
    Button4.setText(Text(kReverseCaption));
    Button4.setGeometry(335, 22, 56, 19);
    Button5.setText(Text(kReverseCaption));
    Button5.setGeometry(335, 59, 56, 18);

    QWidget::setTabOrder(&Edit1, &Edit2);
    QWidget::setTabOrder(&Edit2, &Button1);
    QWidget::setTabOrder(&Button1, &Button2);
    QWidget::setTabOrder(&Button2, &Button3);
    QWidget::setTabOrder(&Button3, &ProgressBar1);
    QWidget::setTabOrder(&ProgressBar1, &Button4);
    QWidget::setTabOrder(&Button4, &Button5);

    connect(&Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(&Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(&Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(&Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(&Button5, &QPushButton::clicked, this, &TForm1::Button5Click);

    CentreOnDesktop();
}

TForm1::~TForm1() = default;

IFileChooser& TForm1::Chooser() {
    if (chooser_ == nullptr) {
        ownChooser_ = std::make_unique<TOpenDialogChooser>(this);
        chooser_ = ownChooser_.get();
    }
    return *chooser_;
}

// Events are processed during a run, so every button ignores clicks until it ends.
void TForm1::Button1Click() {
    if (!running_) ChooseInto(Edit1);
}

void TForm1::Button2Click() {
    if (!running_) ChooseInto(Edit2);
}

void TForm1::Button3Click() {
    if (!running_) RunMerge();
}

void TForm1::Button4Click() {
    if (!running_) RunReverse(Edit1);
}

void TForm1::Button5Click() {
    if (!running_) RunReverse(Edit2);
}

void TForm1::ChooseInto(QLineEdit& edit) {
    const QString path = Chooser().ChooseFile();
    if (!path.isEmpty()) edit.setText(path);
}

void TForm1::RunReverse(const QLineEdit& edit) {
    const RunningScope scope(running_);
    WorkflowProgress progress;
    progress.setPosition = [this](int32_t percent) { ProgressBar1.setValue(percent); };
    progress.processEvents = [] { QCoreApplication::processEvents(); };
    const WorkflowResult result = ReverseFilePages(edit.text().toStdU16String(), progress);
    messages_->Show(ReverseMessage(result));
}

void TForm1::RunMerge() {
    const RunningScope scope(running_);
    WorkflowProgress progress;
    progress.setPosition = [this](int32_t percent) { ProgressBar1.setValue(percent); };
    progress.processEvents = [] { QCoreApplication::processEvents(); };
    const WorkflowResult result =
        MergeFiles(Edit1.text().toStdU16String(), Edit2.text().toStdU16String(), progress);
    messages_->Show(MergeMessage(result));
}

void TForm1::CentreOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect frame = frameGeometry();
    move(screen->geometry().center() - (frame.center() - frame.topLeft()));
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The frame is known once the window exists; centre the whole window again with it.
    if (!placed_) {
        placed_ = true;
        CentreOnDesktop();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a run would leave its closing message without a window.
    if (running_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QString ReverseMessage(const WorkflowResult& result) {
    const QString failedPath = QString::fromStdU16String(result.failedPath);
    switch (result.outcome) {
        case WorkflowOutcome::Done:
            return Text(kReversed);
        case WorkflowOutcome::InputMissing:
            return Text(kInputMissing);
        case WorkflowOutcome::PasswordRequired:
            return Text(kPasswordRequired) + QLatin1Char('\n') + failedPath;
        case WorkflowOutcome::SaveFailed:
            return Text(kSaveFailed) + QString::fromStdU16String(result.outputPath);
        default:
            // OpenFailed; the merge's outcomes do not come from a reverse run.
            return Text(kOpenFailed) + QLatin1Char('\n') + failedPath;
    }
}

QString MergeMessage(const WorkflowResult& result) {
    switch (result.outcome) {
        case WorkflowOutcome::Done:
            return Text(kMerged);
        case WorkflowOutcome::InputMissing:
            return Text(kMergeInputMissing);
        case WorkflowOutcome::PageCountMismatch:
            return Text(kMergeCountRule);
        case WorkflowOutcome::MergeEncrypted:
            return Text(kMergeEncrypted);
        case WorkflowOutcome::MergeUnreadable:
            return Text(kMergeUnreadable);
        case WorkflowOutcome::OutputLocked:
            return Text(kMergeOutputLocked) + QString::fromStdU16String(result.failedPath);
        case WorkflowOutcome::MergeFailed:
            return Text(kMergeFailed);
        default:
            // The merged file failed to open or to save: said as for a reverse run.
            return ReverseMessage(result);
    }
}

}  // namespace verava
