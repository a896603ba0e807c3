// The VERava window: the classic 395 x 180 form laid out in logical pixels (Qt scales them
// with the screen), wider where a caption needs it and as wide as the user pulls it, from
// which the user picks the odd-page and the even-page scan, by the choose buttons, by
// dropping files or on the command line, and starts the workflows or previews the merged
// order. A run works on a thread of its own; the window asks before it replaces a file or
// merges a file with itself, shows the run's progress, asks for passwords between attempts,
// and reports how it ended.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/order_preview.h"
#include "app/gui/path_edit.h"
#include "app/gui/run_messages.h"
#include "app/gui/workflow_runner.h"
#include "app/workflow.h"

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QResizeEvent;
class QSettings;
class QShowEvent;

namespace verava {

class IFileChooser;
class IMessageSink;
class IPasswordPrompt;

// What the window talks to besides its own controls. Null (empty) means the program's own:
// message boxes, the file-open dialog, the password dialog, the user's VERava settings, the
// desktop's handler for files and folders. Tests put fakes here; they are not owned and
// must outlive the window.
struct TWindowHooks {
    IMessageSink* messages = nullptr;
    IFileChooser* chooser = nullptr;
    IPasswordPrompt* passwords = nullptr;
    QSettings* settings = nullptr;
    std::function<bool(const QUrl&)> openUrl;
};

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    explicit TForm1(TWindowHooks hooks = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // True from the click that starts a run until its closing message has been shown.
    bool Running() const { return running_; }
    // Greys the buttons and the check box while a run owns the files.
    void SetBusy(bool busy);
    // Files named on the command line, as if dropped on the odd row: one fills it, two fill
    // both rows in name order. Of more, the first two in name order are taken and the user
    // is told which were not.
    void OpenFiles(const QStringList& paths);
    // What Enter starts: the merge button once both rows are filled, the odd row's reverse
    // button while only that one is; null otherwise. That button is drawn as the default.
    QPushButton* DefaultAction();

    // The controls, named as in the layout table; children of the window. Each button and
    // check box has a key of its own (Alt and its underlined letter).
    QLabel Label1{this};
    QLabel Label2{this};
    TPathEdit Edit1{this};
    TPathEdit Edit2{this};
    QPushButton Button1{this};
    QPushButton Button2{this};
    QPushButton Button3{this};
    QCheckBox CheckBox1{this};
    QCheckBox CheckBox2{this};  // leave blank pages out of the merge
    // Both passes in one file, the odd row's (fronts, then backs): the even row rests.
    QCheckBox CheckBox3{this};
    // The stack was turned over on its short edge: the backs come out upside down.
    QCheckBox CheckBox4{this};
    QProgressBar ProgressBar1{this};
    QPushButton Button4{this};
    QPushButton Button5{this};
    // "预览顺序", under "开始合并": the order preview of the merge.
    QPushButton Button6{this};
    // "停止", under the progress bar and shown only while a run works: stops it at its next
    // step without asking (the button says what it does; Esc and closing may be slips).
    QPushButton Button7{this};

    // The order preview while it is open, else null.
    TOrderPreview* Preview() const { return preview_; }

  signals:
    // A run has ended and its message (if any) has been shown.
    void RunFinished();

  public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();

  protected:
    // While a run works, closing the window or pressing Esc asks whether to stop it. Enter
    // clicks the button that has the focus, elsewhere the default action.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // One click's work: a reverse of one file, a merge of two or the plan of a merge for its
    // preview, with the passwords the user has given so far. A wrong or missing password
    // starts it again after asking.
    struct PendingRun {
        bool merge = false;
        bool preview = false;  // with merge: plan only, then show the order
        QString paths[2];
        bool evenReversed = false;
        bool dropBlank = false;
        bool collated = false;    // with merge: the odd row's file holds both passes
        int32_t rotateEven = 0;   // with merge: degrees the backs are turned
        // With merge: the preview's mends of a misfeed.
        std::vector<int32_t> blankBacks;
        std::vector<PlannedPage> skipped;
        QString passwords[2];
        int asked[2] = {0, 0};
    };

    void ChooseInto(QLineEdit& edit);
    void RememberFolderOf(const QString& path);
    // Asks before a run writes over an existing file or merges a file with itself; false
    // when the user said no.
    bool MayWrite(const PendingRun& run);
    void StartRun(PendingRun run);
    void RunAttempt();
    void AttemptEnded(const WorkflowResult& result);
    int InputNeedingPassword(const WorkflowResult& result) const;
    void ReportDone(const QString& message, const QString& outputPath);
    void EndRun();
    void OpenPreview(const WorkflowResult& plan);
    void MergeFromPreview(const PendingRun& planned, const StackArrangement& arrangement);
    // One or two files for the rows: one fills `row` (0 odd, 1 even), two both rows in name
    // order. Anything else, or a file that is not a PDF, is refused with a message.
    void TakeFiles(const QStringList& paths, int row);
    void UpdateDefaultAction();
    // The even row rests while the odd row's file holds both passes.
    void UpdateEvenRow();
    // A merge as the boxes say now: paths, directions, turns.
    PendingRun MergeRun(bool preview) const;
    void LayOut();
    IFileChooser& Chooser();
    IPasswordPrompt& Passwords();
    void CentreOnDesktop();

    std::unique_ptr<IMessageSink> ownMessages_;
    std::unique_ptr<IFileChooser> ownChooser_;
    std::unique_ptr<IPasswordPrompt> ownPasswords_;
    std::unique_ptr<QSettings> ownSettings_;
    IMessageSink* messages_;
    IFileChooser* chooser_;
    IPasswordPrompt* passwords_;
    QSettings* settings_;
    std::function<bool(const QUrl&)> openUrl_;
    PendingRun pending_;
    QPointer<TOrderPreview> preview_;
    bool running_ = false;
    bool closeAfterRun_ = false;  // the user stopped the run by closing the window
    bool placed_ = false;
    // Last, so that it is destroyed first: it waits for a run still working.
    TWorkflowRunner runner_;
};

// True when both paths name one existing file (however it is spelt: links, "..").
bool SameFile(const QString& a, const QString& b);

// The questions the window asks before a run, each naming its file on a line of its own.
QString ReplaceQuestion(const QString& output);
QString SameFileQuestion(const QString& input);

// How many wrong passwords a file may be given before the run gives up.
inline constexpr int kPasswordTries = 3;

// True for a file the window takes as a PDF: a regular file whose first kilobyte holds
// "%PDF-" (readers accept a header after some junk).
bool LooksLikePdf(const QString& path);

}  // namespace verava
