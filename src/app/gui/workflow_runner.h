// Runs one workflow call at a time on a thread of its own, so the window keeps painting and
// answering while pages are moved. Progress and the result come back to the window's thread
// as queued signals, in the order they happened; nothing runs the window's event loop from
// inside the work.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

#include "app/workflow.h"

namespace verava {

class TWorkflowRunner : public QObject {
    Q_OBJECT

  public:
    using Job = std::function<WorkflowResult(const WorkflowProgress& progress)>;

    explicit TWorkflowRunner(QObject* parent = nullptr);
    // Waits for a job still running: its files must not be left half written.
    ~TWorkflowRunner() override;

    // Starts `job` on the worker thread; false (and nothing started) while one runs.
    bool Start(Job job);
    // From Start until Finished has been emitted.
    bool Busy() const { return thread_ != nullptr; }
    // Asks the running job to stop at its next step; it then ends as Cancelled, and what it
    // had begun to write is gone. Nothing happens when no job runs.
    void Cancel();

  signals:
    // The progress bar position, sent only when it changes.
    void Progress(int percent);
    void Finished(const verava::WorkflowResult& result);

  private:
    void ThreadEnded();

    std::unique_ptr<QThread> thread_;
    std::atomic<bool> cancelled_{false};  // read by the worker
    WorkflowResult result_;  // written by the worker, read once its thread has ended
};

}  // namespace verava
