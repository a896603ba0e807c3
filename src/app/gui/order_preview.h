// The order preview: the stack as the merge would write it, sheet by sheet, before anything
// is written. Each row is one sheet: its front and its back side by side, each labelled with
// its source and its number there ("奇 3", "偶 5", "空白背面"), turned as the merge turns
// it. The sheets are ArrangeStack's; the pictures are poppler's, drawn off the window's
// thread for the rows in view only and kept, so nothing is drawn twice. A misfeed is mended
// here: a blank back put in, a page left out (and all brought back). The window's boxes and
// the mends are handed back only by "合并": closing the preview changes nothing.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QString>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "app/gui/page_thumbnails.h"
#include "app/workflow.h"

namespace verava {

// What the preview is of: both inputs with the passwords that opened them (for a collated
// file the same bytes twice, the backs' input starting at the first back), their page
// counts as PlanMerge found them, and, with blank pages removed, the pages the merge leaves
// out (the same in either scan direction).
struct PreviewInputs {
    ThumbnailInput odd;
    ThumbnailInput even;
    int32_t oddPages = 0;
    int32_t evenPages = 0;
    bool collated = false;
    std::vector<PlannedPage> dropped;
};

// One side of a sheet: its picture (a placeholder until drawn, an empty frame when it cannot
// be drawn) above its label and the mend it offers. An empty slot (a sheet without that
// side) shows a dashed frame and no label.
class TPageTile : public QWidget {
    Q_OBJECT

  public:
    enum class State { Empty, Waiting, Drawn, Undrawable };

    explicit TPageTile(bool back, QWidget* parent = nullptr);

    // Shows `page` as waiting for its picture; a page the merge leaves out is shown marked,
    // not hidden. A blank back is drawn at once, as paper.
    void ShowPage(PlannedPage page, bool dropped = false);
    // A sheet without this side.
    void ShowEmpty();
    // The page's picture as poppler drew it, unturned; the tile shows it turned by the
    // page's rotate. A null image marks a page that cannot be drawn.
    void SetPicture(const QImage& drawn);

    PlannedPage Page() const { return page_; }
    bool HasPage() const { return state_ != State::Empty; }
    bool Dropped() const { return dropped_; }
    State PictureState() const { return state_; }
    QString Label() const { return label_.text(); }
    // The picture as shown, turned (null unless Drawn).
    const QImage& Picture() const { return image_; }

    // The mends: on a real page "跳过", on a back slot "在此插入空白背面", on a blank back
    // "移除". Each shows only where it applies.
    QCheckBox LeaveOutBox{this};
    QPushButton BlankHereButton{this};
    QPushButton RemoveButton{this};

  private:
    void ShowTurnedBox(int32_t rotate);

    const bool back_;
    QLabel picture_;
    QLabel label_;
    PlannedPage page_;
    bool dropped_ = false;
    State state_ = State::Empty;
    QImage image_;
};

// One sheet: its number, its front and its back.
class TSheetRow : public QWidget {
    Q_OBJECT

  public:
    explicit TSheetRow(QWidget* parent = nullptr);

    QLabel Title{this};
    TPageTile Front{false, this};
    TPageTile Back{true, this};
};

class TOrderPreview : public QDialog {
    Q_OBJECT

  public:
    TOrderPreview(PreviewInputs inputs, StackArrangement arrangement, QWidget* parent = nullptr);
    ~TOrderPreview() override;

    // The arrangement as the user left it: the boxes and every mend.
    StackArrangement Arrangement() const;
    // The passes as mended pair (fronts equal backs or one more) and there is a page to
    // write: only then can they be merged.
    bool Paired() const;
    // Every sheet's pages in order as arranged now, dropped ones included.
    const std::vector<PlannedPage>& Order() const { return stack_.order; }
    // The rows in use, one a sheet, in sheet order.
    std::vector<TSheetRow*> Rows() const;
    // The tiles that show a page, in the order of Order().
    std::vector<TPageTile*> Tiles() const;
    // The rows at least partly in view (before the dialog shows: those it opens with).
    std::vector<TSheetRow*> RowsInView() const;
    // Every tile of the rows in view shows its picture or an empty frame.
    bool AllPicturesIn() const;
    // How many pages have been asked of the renderer so far, each counted once.
    size_t PagesAsked() const { return asked_.size(); }

    QLabel Summary{this};
    QScrollArea Sheets{this};
    // The pages left out, named, and the button that brings them all back.
    QLabel LeftOutLine{this};
    QPushButton RestoreButton{this};
    // The boxes mirroring the window's, "合并" (runs the merge) and "关闭".
    QCheckBox EvenReversedBox{this};
    QCheckBox ShortEdgeBox{this};
    QPushButton MergeButton{this};
    QPushButton CloseButton{this};

  signals:
    // Every tile in view has its picture (or is known to have none).
    void PicturesIn();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // A blank back put in lies just before the real back it pushed on (its anchor), or
    // after the last back: it keeps its place among the backs whatever is left out or
    // brought back before it.
    struct BlankAnchor {
        bool atEnd = false;
        int32_t evenPage = 0;
    };

    void Rebuild();
    void RequestInView();
    void TakePicture(PlannedPage page, const QImage& image);
    // The arrangement with the blanks the stack can take, and which anchor each one is.
    StackArrangement Compose(std::vector<size_t>* anchorOfBlank) const;
    void AnchorBlanks(const StackArrangement& given);
    void SkipPage(PlannedPage page);
    void PutBlankBack(const TPageTile& slot);
    void RemoveBlankBack(int32_t sheet);

    using PageKey = std::pair<int, int32_t>;  // source, page number
    static PageKey Key(PlannedPage page) { return {static_cast<int>(page.source), page.page}; }

    const PreviewInputs inputs_;
    const int32_t rotateOdd_;
    std::vector<PlannedPage> skipped_;  // in the order left out
    std::vector<BlankAnchor> blanks_;
    ArrangedStack stack_;
    std::vector<size_t> anchorOfBlank_;  // the anchor of each blank back in stack_, in order
    QWidget* list_ = nullptr;            // the scroll area's widget
    std::vector<TSheetRow*> rows_;       // children of list_; those past the sheets hidden
    size_t rowsUsed_ = 0;
    std::set<PageKey> asked_;
    // Every picture drawn so far, unturned, null for a page that cannot be drawn: turning,
    // flipping and mending draw nothing twice.
    std::map<PageKey, QImage> pictures_;
    TThumbnailRenderer renderer_;
};

}  // namespace verava
