// The order preview: the merged file as the merge would write it, before anything is
// written. It shows the first six pages and the last two (every page of a file of eight or
// fewer, a marker for those left out), each labelled with its source and its number there
// ("奇 1", "偶 3"). The order is our engine's (InterleavedOrder from the page counts PlanMerge
// found); the pictures are poppler's, drawn off the window's thread and filled in as they
// come. The window's check box for evens scanned last to first is mirrored here and only
// handed back by "合并": closing the preview changes nothing.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <map>
#include <utility>
#include <vector>

#include "app/gui/page_thumbnails.h"
#include "app/workflow.h"

namespace verava {

// What the preview is of: both inputs with the passwords that opened them, their page
// counts as PlanMerge found them, and, with blank pages removed, the pages the merge leaves
// out (the same in either scan direction).
struct PreviewInputs {
    ThumbnailInput odd;
    ThumbnailInput even;
    int32_t oddPages = 0;
    int32_t evenPages = 0;
    std::vector<PlannedPage> dropped;
};

// One page of the preview: its picture (a placeholder until drawn, an empty frame when it
// cannot be drawn) above its label.
class TPageTile : public QWidget {
    Q_OBJECT

  public:
    enum class State { Waiting, Drawn, Undrawable };

    explicit TPageTile(QWidget* parent = nullptr);

    // Shows `page` as waiting for its picture; a page the merge leaves out is shown marked,
    // not hidden.
    void ShowPage(PlannedPage page, bool dropped = false);
    // The picture of the page shown; a null image marks it as one that cannot be drawn.
    void SetPicture(const QImage& image);

    PlannedPage Page() const { return page_; }
    bool Dropped() const { return dropped_; }
    State PictureState() const { return state_; }
    QString Label() const { return label_.text(); }
    // The picture as drawn (null unless Drawn).
    const QImage& Picture() const { return image_; }

  private:
    QLabel picture_;
    QLabel label_;
    PlannedPage page_;
    bool dropped_ = false;
    State state_ = State::Waiting;
    QImage image_;
};

class TOrderPreview : public QDialog {
    Q_OBJECT

  public:
    TOrderPreview(PreviewInputs inputs, bool evenReversed, QWidget* parent = nullptr);
    ~TOrderPreview() override;

    // The merged file's pages in order, as planned with the check box as it is now.
    const std::vector<PlannedPage>& Order() const { return order_; }
    // The tiles shown, left to right; those after the marker are the last two pages.
    const std::vector<TPageTile*>& Tiles() const { return tiles_; }
    // How many pages the marker stands for; 0 (and no marker) for eight pages or fewer.
    int32_t LeftOut() const;
    // Every tile shows its picture or an empty frame.
    bool AllPicturesIn() const;

    // The box mirroring the window's, "合并" (runs the merge) and "关闭".
    QCheckBox EvenReversedBox{this};
    QPushButton MergeButton{this};
    QPushButton CloseButton{this};
    QLabel Summary{this};

  signals:
    // The last shown tile has its picture (or is known to have none).
    void PicturesIn();

  private:
    void Replan();
    void TakePicture(PlannedPage page, const QImage& image);

    using PageKey = std::pair<int, int32_t>;  // source, page number
    static PageKey Key(PlannedPage page) { return {static_cast<int>(page.source), page.page}; }

    const PreviewInputs inputs_;
    std::vector<PlannedPage> order_;
    std::vector<TPageTile*> tiles_;  // children of the dialog
    QFrame* gap_ = nullptr;
    QLabel* gapLabel_ = nullptr;
    // Every picture drawn so far, null for a page that cannot be drawn: flipping the check
    // box back and forth draws nothing twice.
    std::map<PageKey, QImage> pictures_;
    TThumbnailRenderer renderer_;
};

// The positions (0-based) of the merged file's pages that the preview shows, in order: all
// of them up to eight pages, otherwise the first six and the last two.
std::vector<size_t> ShownPositions(size_t pages);

}  // namespace verava
