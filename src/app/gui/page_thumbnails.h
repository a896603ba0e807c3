// Thumbnails of input pages for the order preview, drawn by poppler on a thread of its own.
// The preview asks for the few pages it shows; each comes back as a queued signal naming the
// page it shows, so a picture can only ever land where that page is. A newer request drops
// what an older one has not drawn yet. Each input is opened once (both passes of a collated
// file share one opening), on that thread, and only
// that thread touches it: a poppler document is not safe to share between threads. Poppler
// reads the bytes the merge's plan chose (WorkflowResult::pagesToDraw), so an input our
// loader had to mend is drawn from its clean copy and page n is the page the merge takes.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "app/workflow.h"
#include "objects/byte_slice.h"

namespace verava {

// One input: the bytes to draw its pages from (empty: none can be drawn), the password it
// opened with in our engine (empty for none), and the file's page that is the input's page
// 1 (a collated file's backs start after its fronts).
struct ThumbnailInput {
    SharedBytes bytes;
    QString password;
    int32_t firstPage = 1;
};

class TThumbnailRenderer : public QObject {
    Q_OBJECT

  public:
    TThumbnailRenderer(ThumbnailInput odd, ThumbnailInput even, QObject* parent = nullptr);
    // Waits for the page being drawn, if any; pages still asked for are dropped.
    ~TThumbnailRenderer() override;

    // Draws `pages` in this order, each as large as fits in `box` (device pixels), instead
    // of whatever an earlier call asked for and is not drawn yet.
    void Request(const std::vector<PlannedPage>& pages, QSize box);

  signals:
    // `image` is null when the page cannot be drawn: its file does not open for poppler, it
    // has no such page, or drawing it failed.
    void Drawn(verava::PlannedPage page, const QImage& image);

  private:
    void Work();

    const ThumbnailInput inputs_[2];  // odd, even
    std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_: what is still to draw, and at which size.
    std::deque<PlannedPage> queue_;
    QSize box_;
    bool stopping_ = false;
    std::unique_ptr<QThread> thread_;  // last: started once the fields above exist
};

// The scale that fits a page of `points` (1/72 inch) into `box` pixels, keeping its shape;
// 0 for a page without area.
double FitScale(QSizeF points, QSize box);

}  // namespace verava

Q_DECLARE_METATYPE(verava::PlannedPage)
