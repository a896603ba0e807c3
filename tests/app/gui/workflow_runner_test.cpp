// The worker under the window: jobs run off the window's thread, which stays free to handle
// events; progress and the result come back on the window's thread, in order.
#include "app/gui/workflow_runner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "app/gui/shown_window.h"

namespace verava {
namespace {

using testing::Values;

TEST(WorkflowRunner, RunsTheJobOffTheWindowThreadAndReportsBackOnIt) {
    TWorkflowRunner runner;
    QSignalSpy progress(&runner, &TWorkflowRunner::Progress);
    QThread* jobThread = nullptr;
    QThread* finishedThread = nullptr;
    WorkflowResult received;
    QObject::connect(&runner, &TWorkflowRunner::Finished, [&](const WorkflowResult& result) {
        finishedThread = QThread::currentThread();
        received = result;
    });
    const auto job = [&](const WorkflowProgress& p) {
        jobThread = QThread::currentThread();
        for (int percent : {10, 20, 20, 20, 30, 100}) p.setPosition(percent);  // repeats once
        WorkflowResult result;
        result.outcome = WorkflowOutcome::SaveFailed;
        return result;
    };
    ASSERT_TRUE(runner.Start(job));
    EXPECT_FALSE(runner.Start(job));  // one at a time
    ASSERT_TRUE(QTest::qWaitFor([&] { return !runner.Busy(); }, 10000));

    EXPECT_NE(jobThread, nullptr);
    EXPECT_NE(jobThread, QThread::currentThread());
    EXPECT_EQ(finishedThread, QThread::currentThread());
    EXPECT_EQ(received.outcome, WorkflowOutcome::SaveFailed);
    EXPECT_EQ(Values(progress), (std::vector<int>{10, 20, 30, 100}));
}

TEST(WorkflowRunner, TheWindowThreadHandlesEventsWhileAJobWorks) {
    TWorkflowRunner runner;
    QSemaphore released;
    std::atomic<bool> sawRelease{false};
    ASSERT_TRUE(runner.Start([&](const WorkflowProgress&) {
        // Only the window thread's timer can let the job go on.
        sawRelease = released.tryAcquire(1, 10000);
        return WorkflowResult();
    }));
    QTimer::singleShot(0, [&] { released.release(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !runner.Busy(); }, 15000));
    EXPECT_TRUE(sawRelease);
}

}  // namespace
}  // namespace verava
