#include "app/gui/workflow_runner.h"

namespace verava {

TWorkflowRunner::TWorkflowRunner(QObject* parent) : QObject(parent) {}

TWorkflowRunner::~TWorkflowRunner() {
    if (thread_ != nullptr) thread_->wait();
}

bool TWorkflowRunner::Start(Job job) {
    if (thread_ != nullptr) return false;
    cancelled_.store(false);
    thread_.reset(QThread::create([this, job = std::move(job)] {
        int last = -1;
        WorkflowProgress progress;
        // Emitted from the worker: queued to the receivers on the window's thread. A long
        // file reports the same percentage many times; only changes are sent.
        progress.setPosition = [this, &last](int32_t percent) {
            if (percent == last) return;
            last = percent;
            emit Progress(percent);
        };
        progress.stopRequested = [this] { return cancelled_.load(); };
        result_ = job(progress);
    }));
    // QThread::finished comes from the worker after the last Progress, so it is queued
    // behind them.
    connect(thread_.get(), &QThread::finished, this, &TWorkflowRunner::ThreadEnded);
    thread_->start();
    return true;
}

void TWorkflowRunner::Cancel() {
    if (thread_ != nullptr) cancelled_.store(true);
}

void TWorkflowRunner::ThreadEnded() {
    thread_->wait();
    // The thread object is the sender of this slot; let Qt delete it once it returns.
    thread_.release()->deleteLater();
    const WorkflowResult result = std::move(result_);
    result_ = WorkflowResult();
    emit Finished(result);
}

}  // namespace verava
