#include "app/gui/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QStringList>
#include <algorithm>

#include "app/gui/file_chooser.h"
#include "app/gui/message_sink.h"
#include "app/gui/order_preview.h"
#include "app/gui/password_prompt.h"
#include "app/gui/run_messages.h"
#include "app/gui/window_layout.h"

namespace verava {
namespace {

// Every text the user sees, in the source language; Tr() gives the chosen language.
const char* const kCaption =
    QT_TRANSLATE_NOOP("VERava", "扫描PDF文件奇偶合并器            Orvane_harrow88");
const char* const kOddCaption = QT_TRANSLATE_NOOP("VERava", "奇数页文件：");
const char* const kEvenCaption = QT_TRANSLATE_NOOP("VERava", "偶数页文件：");
// The buttons and boxes, each with a letter of its own for Alt: the two rows' buttons say
// the same and differ in their letters (odd O and R, even E and V).
const char* const kChooseOddCaption = QT_TRANSLATE_NOOP("VERava", "选择(&O)");
const char* const kChooseEvenCaption = QT_TRANSLATE_NOOP("VERava", "选择(&E)");
const char* const kMergeCaption = QT_TRANSLATE_NOOP("VERava", "开始合并(&M)");
const char* const kReverseOddCaption = QT_TRANSLATE_NOOP("VERava", "逆序重排(&R)");
const char* const kReverseEvenCaption = QT_TRANSLATE_NOOP("VERava", "逆序重排(&V)");
const char* const kEvenReversedCaption = QT_TRANSLATE_NOOP("VERava", "偶数页为倒序扫描(&L)");
const char* const kPreviewCaption = QT_TRANSLATE_NOOP("VERava", "预览顺序(&P)");
const char* const kDropBlankCaption = QT_TRANSLATE_NOOP("VERava", "删除空白页(&B)");
const char* const kCollatedCaption = QT_TRANSLATE_NOOP("VERava", "正反两面在一个文件中(&T)");
const char* const kShortEdgeCaption = QT_TRANSLATE_NOOP("VERava", "背面上下颠倒(&U)");
// The tips say what the boxes mean for the stack in hand.
const char* const kCollatedTip = QT_TRANSLATE_NOOP(
    "VERava", "扫描软件把第二遍（背面）接在第一遍（正面）之后存成了一个文件：选择它作为奇数页文件");
const char* const kShortEdgeTip =
    QT_TRANSLATE_NOOP("VERava", "纸叠沿短边翻转后扫描背面：背面旋转180度");
const char* const kStopCaption = QT_TRANSLATE_NOOP("VERava", "停止(&S)");

const char* const kStopQuestion = QT_TRANSLATE_NOOP(
    "VERava", "正在处理文件。要停止吗？正在写入的文件会被丢弃，已有的同名文件保持不变。");
// Before a run writes over a file, and before a merge of a file with itself; the file
// follows on a line of its own.
const char* const kReplaceQuestion = QT_TRANSLATE_NOOP("VERava", "输出文件已存在，要替换吗？");
const char* const kSameFileQuestion =
    QT_TRANSLATE_NOOP("VERava", "奇数页文件和偶数页文件是同一个文件，仍要合并吗？");

const char* const kDropCount = QT_TRANSLATE_NOOP("VERava", "一次只能拖入一个或两个PDF文件");
const char* const kTooManyFiles =
    QT_TRANSLATE_N_NOOP("VERava", "一次只能打开一个或两个PDF文件，以下%n个文件没有打开：");
const char* const kCannotOpen = QT_TRANSLATE_NOOP("VERava", "没有程序可以打开：");

// Settings keys.
const char kLastFolderKey[] = "files/lastFolder";
const char kEvenReversedKey[] = "merge/evenReversed";
const char kDropBlankKey[] = "merge/dropBlank";
const char kCollatedKey[] = "merge/collated";
const char kShortEdgeKey[] = "merge/shortEdge";

QString Tr(const char* source) { return QCoreApplication::translate("VERava", source); }

// The room a button's caption needs: its text (the mnemonic's "&" not drawn) and 3 pixels
// a side, clear of the button's 2-pixel bevel.
constexpr int kCaptionPadding = 6;
int CaptionWidth(const QAbstractButton& button) {
    return button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width() +
           kCaptionPadding;
}

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

QString Path(const std::u16string& path) { return QString::fromStdU16String(path); }

// The value of the digits at `at` (advanced past them), without leading zeros.
QStringView DigitRun(const QString& text, qsizetype& at) {
    const qsizetype start = at;
    while (at < text.size() && text[at].isDigit()) ++at;
    qsizetype first = start;
    while (first + 1 < at && text[first] == QLatin1Char('0')) ++first;
    return QStringView(text).mid(first, at - first);
}

// File names as a person sorts them: scanners number their files, so "scan 9" comes before
// "scan 10"; letters compare without regard to case. The same in every locale.
bool NameOrderLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = DigitRun(a, i);
            const QStringView y = DigitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        const QChar x = a[i++].toCaseFolded();
        const QChar y = b[j++].toCaseFolded();
        if (x != y) return x < y;
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();
    return a < b;  // equal but for case or zeros: any fixed order
}

// The first row's controls end at y 42 and the second row's start at 58: a drop above the
// middle lands on the odd row, anything lower on the even one.
constexpr int kRowBoundary = 50;

// The room the window's captions need in the window's font and language.
TCaptionWidths CaptionWidthsOf(const TForm1& w) {
    TCaptionWidths needs;
    needs.label = std::max(w.Label1.sizeHint().width(), w.Label2.sizeHint().width());
    needs.choose = std::max(CaptionWidth(w.Button1), CaptionWidth(w.Button2));
    needs.reverse = std::max(CaptionWidth(w.Button4), CaptionWidth(w.Button5));
    needs.merge = CaptionWidth(w.Button3);
    needs.preview = CaptionWidth(w.Button6);
    needs.stop = CaptionWidth(w.Button7);
    needs.check = std::max({w.CheckBox1.sizeHint().width(), w.CheckBox2.sizeHint().width(),
                            w.CheckBox3.sizeHint().width(), w.CheckBox4.sizeHint().width()});
    return needs;
}

}  // namespace

TForm1::TForm1(TWindowHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      messages_(hooks.messages),
      chooser_(hooks.chooser),
      passwords_(hooks.passwords),
      settings_(hooks.settings),
      openUrl_(std::move(hooks.openUrl)) {
    if (messages_ == nullptr) {
        ownMessages_ = std::make_unique<TMessageBoxSink>(this);
        messages_ = ownMessages_.get();
    }
    if (settings_ == nullptr) {
        ownSettings_ = std::make_unique<QSettings>(QString::fromLatin1(kApplicationTitle),
                                                   QString::fromLatin1(kApplicationTitle));
        settings_ = ownSettings_.get();
    }
    if (!openUrl_) openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    setWindowTitle(Tr(kCaption));
    setFont(WindowFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
    setAcceptDrops(true);

    Label1.setText(Tr(kOddCaption));
    Label2.setText(Tr(kEvenCaption));
    Button1.setText(Tr(kChooseOddCaption));
    Button2.setText(Tr(kChooseEvenCaption));
    CheckBox1.setText(Tr(kEvenReversedCaption));
    CheckBox1.setChecked(settings_->value(QLatin1String(kEvenReversedKey), false).toBool());
    CheckBox2.setText(Tr(kDropBlankCaption));
    CheckBox2.setChecked(settings_->value(QLatin1String(kDropBlankKey), false).toBool());
    CheckBox3.setText(Tr(kCollatedCaption));
    CheckBox3.setToolTip(Tr(kCollatedTip));
    CheckBox3.setChecked(settings_->value(QLatin1String(kCollatedKey), false).toBool());
    CheckBox4.setText(Tr(kShortEdgeCaption));
    CheckBox4.setToolTip(Tr(kShortEdgeTip));
    CheckBox4.setChecked(settings_->value(QLatin1String(kShortEdgeKey), false).toBool());
    Button3.setText(Tr(kMergeCaption));
    ProgressBar1.setRange(0, 100);
    ProgressBar1.setValue(0);
    ProgressBar1.setTextVisible(false);
    Button4.setText(Tr(kReverseOddCaption));
    Button5.setText(Tr(kReverseEvenCaption));
    // Under the merge button, as far below it as it is below the check box's row, and as
    // wide as the choose and reverse buttons together: "Preview order" needs the room.
    Button6.setText(Tr(kPreviewCaption));
    // As wide as the merge button, its right edge under the bar's.
    Button7.setText(Tr(kStopCaption));
    Button7.hide();
    // As wide as the user likes, never narrower than the classic form or than the captions
    // need; nothing would use more height.
    setMinimumWidth(MinimumWindowWidth(CaptionWidthsOf(*this)));
    setFixedHeight(kWindowHeight);
    resize(minimumWidth(), kWindowHeight);
    LayOut();

    QWidget::setTabOrder(&Edit1, &Edit2);
    QWidget::setTabOrder(&Edit2, &Button1);
    QWidget::setTabOrder(&Button1, &Button2);
    QWidget::setTabOrder(&Button2, &CheckBox1);
    QWidget::setTabOrder(&CheckBox1, &CheckBox4);
    QWidget::setTabOrder(&CheckBox4, &CheckBox3);
    QWidget::setTabOrder(&CheckBox3, &CheckBox2);
    QWidget::setTabOrder(&CheckBox2, &Button3);
    QWidget::setTabOrder(&Button3, &Button6);
    QWidget::setTabOrder(&Button6, &Button7);
    QWidget::setTabOrder(&Button7, &ProgressBar1);
    QWidget::setTabOrder(&ProgressBar1, &Button4);
    QWidget::setTabOrder(&Button4, &Button5);

    connect(&Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(&Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(&Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(&Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(&Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(&Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(&Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(&CheckBox1, &QCheckBox::toggled, this, [this](bool checked) {
        settings_->setValue(QLatin1String(kEvenReversedKey), checked);
    });
    connect(&CheckBox2, &QCheckBox::toggled, this,
            [this](bool checked) { settings_->setValue(QLatin1String(kDropBlankKey), checked); });
    connect(&CheckBox3, &QCheckBox::toggled, this, [this](bool checked) {
        settings_->setValue(QLatin1String(kCollatedKey), checked);
        UpdateEvenRow();
        UpdateDefaultAction();
    });
    connect(&CheckBox4, &QCheckBox::toggled, this,
            [this](bool checked) { settings_->setValue(QLatin1String(kShortEdgeKey), checked); });
    connect(&Edit1, &QLineEdit::textChanged, this, &TForm1::UpdateDefaultAction);
    connect(&Edit2, &QLineEdit::textChanged, this, &TForm1::UpdateDefaultAction);
    connect(&runner_, &TWorkflowRunner::Progress, &ProgressBar1, &QProgressBar::setValue);
    connect(&runner_, &TWorkflowRunner::Finished, this, &TForm1::AttemptEnded);
    UpdateEvenRow();

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

IPasswordPrompt& TForm1::Passwords() {
    if (passwords_ == nullptr) {
        ownPasswords_ = std::make_unique<TPasswordDialogPrompt>(this);
        passwords_ = ownPasswords_.get();
    }
    return *passwords_;
}

void TForm1::SetBusy(bool busy) {
    for (QWidget* control : {static_cast<QWidget*>(&Button1), static_cast<QWidget*>(&Button2),
                             static_cast<QWidget*>(&Button3), static_cast<QWidget*>(&Button4),
                             static_cast<QWidget*>(&Button5), static_cast<QWidget*>(&Button6),
                             static_cast<QWidget*>(&CheckBox1), static_cast<QWidget*>(&CheckBox2),
                             static_cast<QWidget*>(&CheckBox3), static_cast<QWidget*>(&CheckBox4)}) {
        control->setEnabled(!busy);
    }
    Button7.setVisible(busy);
    UpdateEvenRow();
}

// The buttons are greyed during a run; a click that still arrives (a queued one, a direct
// call) must not start a second run on the same files.
void TForm1::Button1Click() {
    if (!running_) ChooseInto(Edit1);
}

void TForm1::Button2Click() {
    if (!running_) ChooseInto(Edit2);
}

void TForm1::Button3Click() {
    if (running_) return;
    StartRun(MergeRun(false));
}

TForm1::PendingRun TForm1::MergeRun(bool preview) const {
    PendingRun run;
    run.merge = true;
    run.preview = preview;
    run.paths[0] = Edit1.text();
    run.collated = CheckBox3.isChecked();
    // A file of both passes has no even file: the even row's text is not asked about.
    if (!run.collated) run.paths[1] = Edit2.text();
    run.evenReversed = CheckBox1.isChecked();
    run.dropBlank = CheckBox2.isChecked();
    run.rotateEven = CheckBox4.isChecked() ? 180 : 0;
    return run;
}

void TForm1::UpdateEvenRow() {
    const bool rests = CheckBox3.isChecked();
    Label2.setEnabled(!rests);
    Edit2.setEnabled(!rests);
    // The buttons are greyed during a run anyway (SetBusy greys the odd row's too).
    const bool idle = Button1.isEnabled();
    Button2.setEnabled(!rests && idle);
    Button5.setEnabled(!rests && idle);
}

void TForm1::Button4Click() {
    if (running_) return;
    PendingRun run;
    run.paths[0] = Edit1.text();
    StartRun(run);
}

void TForm1::Button5Click() {
    if (running_) return;
    PendingRun run;
    run.paths[0] = Edit2.text();
    StartRun(run);
}

// The merge's own first step, PlanMerge, on the runner: its passwords are asked for and its
// failures reported as a merge's; once the files open and their counts fit, the preview.
void TForm1::Button6Click() {
    if (running_) return;
    StartRun(MergeRun(true));
}

void TForm1::ChooseInto(QLineEdit& edit) {
    const QString path =
        Chooser().ChooseFile(settings_->value(QLatin1String(kLastFolderKey)).toString());
    if (path.isEmpty()) return;
    edit.setText(path);
    RememberFolderOf(path);
}

void TForm1::RememberFolderOf(const QString& path) {
    settings_->setValue(QLatin1String(kLastFolderKey), QFileInfo(path).absolutePath());
}

QString ReplaceQuestion(const QString& output) {
    return Tr(kReplaceQuestion) + QLatin1Char('\n') + QDir::toNativeSeparators(output);
}

QString SameFileQuestion(const QString& input) {
    return Tr(kSameFileQuestion) + QLatin1Char('\n') + QDir::toNativeSeparators(input);
}

bool SameFile(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

bool TForm1::MayWrite(const PendingRun& run) {
    // Inputs that are not there are the workflow's to report; there is nothing to ask.
    const int inputs = run.merge && !run.collated ? 2 : 1;
    for (int i = 0; i < inputs; ++i) {
        if (!QFileInfo(run.paths[i]).isFile()) return true;
    }
    if (inputs == 2 && SameFile(run.paths[0], run.paths[1]) &&
        !messages_->Ask(SameFileQuestion(run.paths[0]))) {
        return false;
    }
    const std::u16string first = run.paths[0].toStdU16String();
    const std::u16string output = !run.merge    ? ReverseOutputPath(first)
                                  : run.collated ? CollateOutputPath(first)
                                                 : MergeOutputPath(first,
                                                                   run.paths[1].toStdU16String());
    // A folder or a device in the way is no file to replace: the run says why it cannot
    // write there.
    return !QFileInfo(Path(output)).isFile() || messages_->Ask(ReplaceQuestion(Path(output)));
}

void TForm1::StartRun(PendingRun run) {
    // A preview writes nothing; the merge it may lead to asks when it starts.
    if (!run.preview && !MayWrite(run)) return;
    pending_ = std::move(run);
    running_ = true;
    SetBusy(true);
    RunAttempt();
}

void TForm1::RunAttempt() {
    const PendingRun run = pending_;
    runner_.Start([run](const WorkflowProgress& progress) {
        if (!run.merge) {
            return ReverseFilePages(run.paths[0].toStdU16String(), progress,
                                    run.passwords[0].toStdU16String());
        }
        MergeRequest request;
        request.oddPath = run.paths[0].toStdU16String();
        request.evenPath = run.paths[1].toStdU16String();
        request.evenReversed = run.evenReversed;
        request.oddPassword = run.passwords[0].toStdU16String();
        request.evenPassword = run.passwords[1].toStdU16String();
        request.blankPages.enabled = run.dropBlank;
        request.collated = run.collated;
        request.rotateEven = run.rotateEven;
        request.blankBacks = run.blankBacks;
        request.skipped = run.skipped;
        if (run.preview) return PreviewMerge(request, progress);
        return MergeFiles(request, progress);
    });
}

// The input whose password is missing or wrong, or -1. A reverse asks whenever the file
// did not open for want of a password; a merge asks for an encrypted input it refused.
int TForm1::InputNeedingPassword(const WorkflowResult& result) const {
    const bool asks = result.outcome == WorkflowOutcome::PasswordRequired ||
                      (pending_.merge && result.outcome == WorkflowOutcome::MergeEncrypted);
    if (!asks) return -1;
    for (int i = 0; i < (pending_.merge && !pending_.collated ? 2 : 1); ++i) {
        if (Path(result.failedPath) == pending_.paths[i]) return i;
    }
    return -1;
}

void TForm1::AttemptEnded(const WorkflowResult& result) {
    if (result.outcome == WorkflowOutcome::Cancelled) {
        // The user asked for it: nothing was written and there is nothing more to say.
        EndRun();
        if (closeAfterRun_) close();
        return;
    }
    const int input = InputNeedingPassword(result);
    if (input >= 0 && pending_.asked[input] < kPasswordTries) {
        const std::optional<QString> password =
            Passwords().AskPassword(pending_.paths[input], pending_.asked[input] > 0);
        if (!password) {
            // Cancelled: the run ends here, nothing written and nothing more to say.
            EndRun();
            return;
        }
        pending_.passwords[input] = *password;
        ++pending_.asked[input];
        // A file merged with itself needs its password once.
        if (pending_.merge && !pending_.collated &&
            SameFile(pending_.paths[0], pending_.paths[1])) {
            pending_.passwords[1 - input] = *password;
            pending_.asked[1 - input] = pending_.asked[input];
        }
        RunAttempt();
        return;
    }
    if (pending_.preview) {
        // Passes that do not pair are shown too: the preview is where a misfeed is mended.
        const bool unpaired =
            result.outcome == WorkflowOutcome::PageCountMismatch && !result.order.empty();
        if (result.outcome == WorkflowOutcome::Done || unpaired) {
            OpenPreview(result);
        } else {
            messages_->Show(PreviewMessage(result));
            EndRun();
        }
        return;
    }
    if (result.outcome == WorkflowOutcome::Done) {
        ReportDone(pending_.merge ? MergeMessage(result) : ReverseMessage(result),
                   Path(result.outputPath));
    } else {
        messages_->Show(pending_.merge ? MergeMessage(result) : ReverseMessage(result));
    }
    EndRun();
}

// Planned: the dialog shows at once with placeholders and draws its pictures as they come.
// The run ends as it opens; "合并" there starts the merge as the merge button does, with the
// passwords already given, and closing it leaves everything as it was.
void TForm1::OpenPreview(const WorkflowResult& plan) {
    const PendingRun planned = pending_;
    PreviewInputs inputs;
    inputs.odd = {plan.pagesToDraw[0], planned.passwords[0]};
    inputs.even = {plan.pagesToDraw[1], planned.passwords[1]};
    inputs.oddPages = plan.oddPages;
    inputs.evenPages = plan.evenPages;
    inputs.collated = plan.collated;
    if (plan.collated) {
        // One file: the backs are its pages after the fronts.
        inputs.even = {plan.pagesToDraw[0], planned.passwords[0], plan.oddPages + 1};
    }
    inputs.dropped = plan.dropped;
    StackArrangement arrangement;
    arrangement.evenReversed = planned.evenReversed;
    arrangement.rotateEven = planned.rotateEven;
    arrangement.blankBacks = planned.blankBacks;
    arrangement.skipped = planned.skipped;
    auto* preview = new TOrderPreview(std::move(inputs), arrangement, this);
    preview_ = preview;
    connect(preview, &QDialog::accepted, this,
            [this, preview, planned] { MergeFromPreview(planned, preview->Arrangement()); });
    connect(preview, &QDialog::finished, preview, &QObject::deleteLater);
    EndRun();
    preview->open();
}

void TForm1::MergeFromPreview(const PendingRun& planned, const StackArrangement& arrangement) {
    if (running_) return;
    // The boxes as the merge used them: the window shows them and remembers them.
    CheckBox1.setChecked(arrangement.evenReversed);
    CheckBox4.setChecked(arrangement.rotateEven == 180);
    PendingRun run = planned;
    run.preview = false;
    run.evenReversed = arrangement.evenReversed;
    run.rotateEven = arrangement.rotateEven;
    run.blankBacks = arrangement.blankBacks;
    run.skipped = arrangement.skipped;
    StartRun(run);
}

void TForm1::ReportDone(const QString& message, const QString& outputPath) {
    const AfterDone choice = messages_->ShowDone(message);
    if (choice == AfterDone::Close) return;
    const QString target =
        choice == AfterDone::OpenFolder ? QFileInfo(outputPath).absolutePath() : outputPath;
    if (!openUrl_(QUrl::fromLocalFile(target))) {
        messages_->Show(Tr(kCannotOpen) + QDir::toNativeSeparators(target));
    }
}

void TForm1::EndRun() {
    pending_ = PendingRun();
    running_ = false;
    SetBusy(false);
    emit RunFinished();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (running_ || data == nullptr || !data->hasUrls()) return;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return;
    }
    event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    if (running_ || event->mimeData() == nullptr) return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    event->acceptProposedAction();
    TakeFiles(paths, event->position().toPoint().y() < kRowBoundary ? 0 : 1);
}

namespace {

QStringList InNameOrder(QStringList paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        return NameOrderLess(QFileInfo(a).fileName(), QFileInfo(b).fileName());
    });
    return paths;
}

}  // namespace

void TForm1::TakeFiles(const QStringList& paths, int row) {
    if (paths.isEmpty() || paths.size() > 2) {
        messages_->Show(Tr(kDropCount));
        return;
    }
    for (const QString& path : paths) {
        if (!LooksLikePdf(path)) {
            messages_->Show(OpenFailedMessage(path));
            return;
        }
    }
    if (paths.size() == 1) {
        (row == 0 ? Edit1 : Edit2).setText(paths.front());
    } else {
        const QStringList sorted = InNameOrder(paths);
        Edit1.setText(sorted[0]);
        Edit2.setText(sorted[1]);
    }
    RememberFolderOf(paths.front());
}

void TForm1::OpenFiles(const QStringList& paths) {
    if (running_ || paths.isEmpty()) return;
    QStringList absolute;
    for (const QString& path : paths) {
        absolute.append(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    }
    if (absolute.size() > 2) {
        absolute = InNameOrder(absolute);
        const QStringList left = absolute.mid(2);
        absolute = absolute.mid(0, 2);
        messages_->Show(
            QCoreApplication::translate("VERava", kTooManyFiles, nullptr,
                                        static_cast<int>(left.size())) +
            QLatin1Char('\n') + left.join(QLatin1Char('\n')));
    }
    TakeFiles(absolute, 0);
}

QPushButton* TForm1::DefaultAction() {
    if (Edit1.text().isEmpty()) return nullptr;
    // A file of both passes is merged alone.
    return Edit2.text().isEmpty() && !CheckBox3.isChecked() ? &Button4 : &Button3;
}

void TForm1::UpdateDefaultAction() {
    const QPushButton* action = DefaultAction();
    Button3.setDefault(action == &Button3);
    Button4.setDefault(action == &Button4);
}

void TForm1::LayOut() {
    const TWindowGeometry g = LayOutWindow(width(), CaptionWidthsOf(*this));
    Label1.setGeometry(g.label[0]);
    Label2.setGeometry(g.label[1]);
    Edit1.setGeometry(g.edit[0]);
    Edit2.setGeometry(g.edit[1]);
    Button1.setGeometry(g.choose[0]);
    Button2.setGeometry(g.choose[1]);
    Button4.setGeometry(g.reverse[0]);
    Button5.setGeometry(g.reverse[1]);
    CheckBox1.setGeometry(g.check[0]);
    CheckBox4.setGeometry(g.check[1]);
    CheckBox3.setGeometry(g.check[2]);
    CheckBox2.setGeometry(g.check[3]);
    Button3.setGeometry(g.merge);
    ProgressBar1.setGeometry(g.progress);
    Button6.setGeometry(g.preview);
    Button7.setGeometry(g.stop);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
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
    // The run is writing a file: the window goes only once the run has stopped and removed
    // what it had begun.
    if (running_) {
        event->ignore();
        if (messages_->Ask(Tr(kStopQuestion))) {
            closeAfterRun_ = true;
            runner_.Cancel();
        }
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::Button7Click() {
    if (running_) runner_.Cancel();
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (running_ && event->key() == Qt::Key_Escape) {
        if (messages_->Ask(Tr(kStopQuestion))) runner_.Cancel();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The keypad's Enter comes with the keypad modifier.
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Buttons outside a dialog leave Enter to the window: the focused button is what the
        // user is looking at, otherwise the action the filled rows call for.
        // (During a run only the stop button is enabled.)
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* button = focused != nullptr ? focused : DefaultAction();
        if (button != nullptr && button->isEnabled() && button->isVisible()) button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool LooksLikePdf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(1024).contains("%PDF-");
}

}  // namespace verava
