// The VERava window: a fixed 395 x 113 dialog laid out in pixels at 96 dpi, from which the
// user picks the odd-page and the even-page scan and starts the workflows. Every run is one
// synchronous handler on the window's thread; the progress bar and pending events are
// serviced between page moves.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "app/workflow.h"

class QCloseEvent;
class QShowEvent;

namespace verava {

class IFileChooser;
class IMessageSink;

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    // `messages` and `chooser` replace the message boxes and the file-open dialog (tests);
    // they are not owned and must outlive the window. Null means the window's own.
    explicit TForm1(IMessageSink* messages = nullptr, IFileChooser* chooser = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // True while a workflow runs.
    bool Running() const { return running_; }

    // The controls, named as in the layout table; children of the window.
    QLabel Label1{this};
    QLabel Label2{this};
    QLineEdit Edit1{this};
    QLineEdit Edit2{this};
    QPushButton Button1{this};
    QPushButton Button2{this};
    QPushButton Button3{this};
    QProgressBar ProgressBar1{this};
    QPushButton Button4{this};
    QPushButton Button5{this};

  public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void ChooseInto(QLineEdit& edit);
    void RunReverse(const QLineEdit& edit);
    void RunMerge();
    IFileChooser& Chooser();
    void CentreOnDesktop();

    std::unique_ptr<IMessageSink> ownMessages_;
    std::unique_ptr<IFileChooser> ownChooser_;
    IMessageSink* messages_;
    IFileChooser* chooser_;
    bool running_ = false;
    bool placed_ = false;
};

// The message that ends a reverse run.
QString ReverseMessage(const WorkflowResult& result);
// The message that ends a merge run.
QString MergeMessage(const WorkflowResult& result);

}  // namespace verava
