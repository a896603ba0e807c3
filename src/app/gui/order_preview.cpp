#include "app/gui/order_preview.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTransform>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/run_messages.h"

namespace verava {
namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("VERava", "预览顺序");
const char* const kSummary = QT_TRANSLATE_N_NOOP("VERava", "合并后共%n页");
const char* const kDroppedSummary = QT_TRANSLATE_N_NOOP("VERava", "（删除%n页空白页）");
const char* const kDroppedLabel = QT_TRANSLATE_NOOP("VERava", "%1 删除");
const char* const kFrontsCount = QT_TRANSLATE_N_NOOP("VERava", "正面%n页");
const char* const kBacksCount = QT_TRANSLATE_N_NOOP("VERava", "背面%n页");
const char* const kUnpaired = QT_TRANSLATE_NOOP(
    "VERava",
    "%1，%2：正面应与背面一样多或多1页。请在缺背面的张插入空白背面，或跳过多出的页，才能合并。");
const char* const kSheetTitle = QT_TRANSLATE_NOOP("VERava", "第 %1 张");
const char* const kBlankBackLabel = QT_TRANSLATE_NOOP("VERava", "空白背面");
const char* const kLeftOutLine = QT_TRANSLATE_NOOP("VERava", "已跳过：%1");
const char* const kListSeparator = QT_TRANSLATE_NOOP("VERava", "、");
// On every row: no Alt key, a key cannot stand for one of many.
const char* const kLeaveOutCaption = QT_TRANSLATE_NOOP("VERava", "跳过");
const char* const kBlankHereCaption = QT_TRANSLATE_NOOP("VERava", "在此插入空白背面");
const char* const kRemoveCaption = QT_TRANSLATE_NOOP("VERava", "移除");
// Each with a key of its own: Alt and the letter (Enter merges, Esc closes).
const char* const kRestoreCaption = QT_TRANSLATE_NOOP("VERava", "恢复(&R)");
const char* const kEvenReversedCaption = QT_TRANSLATE_NOOP("VERava", "偶数页为倒序扫描(&L)");
const char* const kShortEdgeCaption = QT_TRANSLATE_NOOP("VERava", "背面上下颠倒（短边翻转）(&U)");
const char* const kMergeCaption = QT_TRANSLATE_NOOP("VERava", "合并(&M)");
const char* const kCloseCaption = QT_TRANSLATE_NOOP("VERava", "关闭(&C)");

QString Tr(const char* source, int n = -1) {
    return QCoreApplication::translate("VERava", source, nullptr, n);
}

// Room for a portrait page of A4 or letter shape, in logical pixels; the picture is drawn
// at the screen's pixel density. A page turned a quarter lies in the same box on its side.
constexpr int kPictureWidth = 76;
constexpr int kPictureHeight = 108;
// The rows the list shows without scrolling, and those asked for before it is laid out.
constexpr int kRowsInView = 3;

bool QuarterTurned(int32_t rotate) { return ((rotate % 360 + 360) % 360) % 180 == 90; }

}  // namespace

TPageTile::TPageTile(bool back, QWidget* parent)
    : QWidget(parent), back_(back), picture_(this), label_(this) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    picture_.setLineWidth(1);
    picture_.setAlignment(Qt::AlignCenter);
    picture_.setAutoFillBackground(true);
    label_.setAlignment(Qt::AlignCenter);
    // Both boxes of a turned page fit in one square, so rows keep their height.
    auto* frame = new QWidget(this);
    frame->setFixedSize(kPictureHeight + 2, kPictureHeight + 2);
    auto* centred = new QHBoxLayout(frame);
    centred->setContentsMargins(0, 0, 0, 0);
    picture_.setParent(frame);
    centred->addWidget(&picture_, 0, Qt::AlignCenter);
    LeaveOutBox.setText(Tr(kLeaveOutCaption));
    BlankHereButton.setText(Tr(kBlankHereCaption));
    RemoveButton.setText(Tr(kRemoveCaption));
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{&LeaveOutBox, &BlankHereButton, &RemoveButton}) {
        button->setFocusPolicy(Qt::TabFocus);
    }
    label_.setMinimumHeight(label_.fontMetrics().height());
    layout->addWidget(frame, 0, Qt::AlignHCenter);
    layout->addWidget(&label_, 0, Qt::AlignHCenter);
    layout->addWidget(&LeaveOutBox, 0, Qt::AlignHCenter);
    // Hidden on a blank back or an empty slot: the rows keep one height.
    QSizePolicy keep = LeaveOutBox.sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    LeaveOutBox.setSizePolicy(keep);
    if (back_) {
        // A back offers one of the two at a time, in one place.
        auto* action = new QHBoxLayout;
        action->setContentsMargins(0, 0, 0, 0);
        action->addWidget(&BlankHereButton);
        action->addWidget(&RemoveButton);
        layout->addLayout(action);
    }
    layout->addStretch();
    ShowEmpty();
}

void TPageTile::ShowTurnedBox(int32_t rotate) {
    if (QuarterTurned(rotate)) {
        picture_.setFixedSize(kPictureHeight + 2, kPictureWidth + 2);
    } else {
        picture_.setFixedSize(kPictureWidth + 2, kPictureHeight + 2);
    }
}

void TPageTile::ShowEmpty() {
    page_ = PlannedPage();
    dropped_ = false;
    state_ = State::Empty;
    image_ = QImage();
    label_.setText(QString());
    picture_.clear();
    ShowTurnedBox(0);
    // A dashed outline on the dialog's own colour: plainly no page.
    picture_.setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette colours = picture_.palette();
    colours.setColor(QPalette::Window, palette().color(QPalette::Window));
    colours.setColor(QPalette::WindowText, palette().color(QPalette::Mid));
    picture_.setPalette(colours);
    LeaveOutBox.hide();
    RemoveButton.hide();
    // A sheet whose back is missing can take a blank one.
    BlankHereButton.setVisible(back_);
}

void TPageTile::ShowPage(PlannedPage page, bool dropped) {
    page_ = page;
    dropped_ = dropped;
    state_ = State::Waiting;
    image_ = QImage();
    const bool blank = page.source == PageSource::Blank;
    QString label = blank ? Tr(kBlankBackLabel) : PageLabel(page);
    if (dropped) label = Tr(kDroppedLabel).arg(label);
    label_.setText(label);
    // A page left out is shown with its label struck through and greyed: still in view,
    // plainly not to be written.
    QFont font = label_.font();
    font.setStrikeOut(dropped);
    label_.setFont(font);
    QPalette text = palette();
    if (dropped)
        text.setColor(QPalette::WindowText, text.color(QPalette::Disabled, QPalette::WindowText));
    label_.setPalette(text);
    picture_.clear();
    picture_.setFrameStyle(QFrame::Box | QFrame::Plain);
    ShowTurnedBox(page.rotate);
    // A grey placeholder until the picture comes.
    QPalette colours = picture_.palette();
    colours.setColor(QPalette::Window, palette().color(QPalette::Midlight));
    colours.setColor(QPalette::WindowText, palette().color(QPalette::Dark));
    picture_.setPalette(colours);
    {
        const QSignalBlocker quiet(LeaveOutBox);
        LeaveOutBox.setChecked(false);
    }
    LeaveOutBox.setVisible(!blank);
    BlankHereButton.setVisible(back_ && !blank);
    RemoveButton.setVisible(blank);
    if (blank) {
        // Paper of the box's shape until its front's picture gives the size.
        SetPicture(QImage());
    }
}

void TPageTile::SetPicture(const QImage& drawn) {
    if (state_ == State::Empty) return;
    QPalette colours = picture_.palette();
    colours.setColor(QPalette::Window, Qt::white);
    picture_.setPalette(colours);
    QImage shown = drawn;
    if (page_.source == PageSource::Blank) {
        // Paper of the front's size (the blank back takes it): `drawn` is that front.
        const QSize size = drawn.isNull()
                               ? QSize(kPictureWidth, kPictureHeight) * devicePixelRatioF()
                               : drawn.size();
        shown = QImage(size, QImage::Format_RGB32);
        shown.fill(Qt::white);
    }
    if (shown.isNull()) {
        // Poppler could not draw it: an empty frame, the label still says which page it is.
        state_ = State::Undrawable;
        image_ = QImage();
        picture_.clear();
        return;
    }
    state_ = State::Drawn;
    if (page_.rotate % 360 != 0) shown = shown.transformed(QTransform().rotate(page_.rotate));
    // Fitted to the tile's box as turned, in device pixels.
    const QSize box = (QSizeF(picture_.size() - QSize(2, 2)) * devicePixelRatioF()).toSize();
    if (shown.width() > box.width() || shown.height() > box.height()) {
        shown = shown.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    image_ = shown;
    QPixmap pixmap = QPixmap::fromImage(shown);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    picture_.setPixmap(pixmap);
}

TSheetRow::TSheetRow(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(12);
    Title.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Title.setMinimumWidth(Title.fontMetrics().horizontalAdvance(Tr(kSheetTitle).arg(9999)) + 4);
    layout->addWidget(&Title, 0, Qt::AlignVCenter);
    layout->addWidget(&Front, 0, Qt::AlignTop);
    layout->addWidget(&Back, 0, Qt::AlignTop);
    layout->addStretch();
    // Every row as tall as one with all its buttons: the rows in view follow from the
    // scroll position alone.
    setFixedHeight(sizeHint().height());
}

TOrderPreview::TOrderPreview(PreviewInputs inputs, StackArrangement arrangement, QWidget* parent)
    : QDialog(parent),
      inputs_(std::move(inputs)),
      rotateOdd_(arrangement.rotateOdd),
      renderer_(inputs_.odd, inputs_.even) {
    setWindowTitle(Tr(kTitle));
    setWindowModality(Qt::WindowModal);

    Summary.setWordWrap(true);
    list_ = new QWidget;
    auto* rows = new QVBoxLayout(list_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addStretch();
    Sheets.setWidget(list_);
    Sheets.setWidgetResizable(true);
    Sheets.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Scrolled, resized or grown by a mend: other rows come into view.
    Sheets.viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    connect(Sheets.verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TOrderPreview::RequestInView);

    LeftOutLine.setWordWrap(true);
    RestoreButton.setText(Tr(kRestoreCaption));
    auto* leftOut = new QHBoxLayout;
    leftOut->addWidget(&LeftOutLine, 1);
    leftOut->addWidget(&RestoreButton);

    EvenReversedBox.setText(Tr(kEvenReversedCaption));
    EvenReversedBox.setChecked(arrangement.evenReversed);
    ShortEdgeBox.setText(Tr(kShortEdgeCaption));
    ShortEdgeBox.setChecked(arrangement.rotateEven % 360 == 180);
    MergeButton.setText(Tr(kMergeCaption));
    MergeButton.setDefault(true);
    CloseButton.setText(Tr(kCloseCaption));
    auto* boxes = new QVBoxLayout;
    boxes->addWidget(&EvenReversedBox);
    boxes->addWidget(&ShortEdgeBox);
    auto* buttons = new QHBoxLayout;
    buttons->addLayout(boxes);
    buttons->addStretch();
    buttons->addWidget(&MergeButton, 0, Qt::AlignBottom);
    buttons->addWidget(&CloseButton, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(&Summary);
    layout->addWidget(&Sheets, 1);
    layout->addLayout(leftOut);
    layout->addLayout(buttons);

    connect(&EvenReversedBox, &QCheckBox::toggled, this, &TOrderPreview::Rebuild);
    connect(&ShortEdgeBox, &QCheckBox::toggled, this, &TOrderPreview::Rebuild);
    connect(&RestoreButton, &QPushButton::clicked, this, [this] {
        skipped_.clear();
        Rebuild();
    });
    connect(&MergeButton, &QPushButton::clicked, this, [this] {
        if (Paired()) accept();
    });
    connect(&CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(&renderer_, &TThumbnailRenderer::Drawn, this, &TOrderPreview::TakePicture);

    AnchorBlanks(arrangement);
    Rebuild();
    // Wide enough for a row and the scroll bar, tall enough for a few rows.
    TSheetRow* first = rows_.front();
    Sheets.setMinimumWidth(first->sizeHint().width() +
                           Sheets.verticalScrollBar()->sizeHint().width() +
                           2 * Sheets.frameWidth());
    Sheets.setMinimumHeight(
        std::min<int>(kRowsInView, static_cast<int>(std::max<size_t>(rowsUsed_, 1))) *
            first->sizeHint().height() +
        2 * Sheets.frameWidth());
}

TOrderPreview::~TOrderPreview() = default;

void TOrderPreview::AnchorBlanks(const StackArrangement& given) {
    // Only the mends the passes can take: a page or sheet that is not there is let go.
    for (const PlannedPage& page : given.skipped) {
        const int32_t count = page.source == PageSource::Odd    ? inputs_.oddPages
                              : page.source == PageSource::Even ? inputs_.evenPages
                                                                : 0;
        if (page.page >= 1 && page.page <= count &&
            std::find(skipped_.begin(), skipped_.end(), page) == skipped_.end()) {
            skipped_.push_back({page.source, page.page});
        }
    }
    StackArrangement probe = given;
    probe.skipped = skipped_;
    probe.blankBacks.clear();
    std::vector<int32_t> sheets = given.blankBacks;
    std::sort(sheets.begin(), sheets.end());
    sheets.erase(std::unique(sheets.begin(), sheets.end()), sheets.end());
    for (const int32_t sheet : sheets) {
        probe.blankBacks.push_back(sheet);
        if (!ArrangeStack(inputs_.oddPages, inputs_.evenPages, probe).valid)
            probe.blankBacks.pop_back();
    }
    // Each blank back's anchor: the next real back after it.
    const ArrangedStack stack = ArrangeStack(inputs_.oddPages, inputs_.evenPages, probe);
    std::vector<size_t> open;
    for (const PlannedPage& page : stack.order) {
        if (page.source == PageSource::Blank) {
            open.push_back(blanks_.size());
            blanks_.push_back({true, 0});
        } else if (page.source == PageSource::Even) {
            for (const size_t k : open) blanks_[k] = {false, page.page};
            open.clear();
        }
    }
}

StackArrangement TOrderPreview::Compose(std::vector<size_t>* anchorOfBlank) const {
    StackArrangement arrangement;
    arrangement.evenReversed = EvenReversedBox.isChecked();
    arrangement.rotateOdd = rotateOdd_;
    arrangement.rotateEven = ShortEdgeBox.isChecked() ? 180 : 0;
    arrangement.skipped = skipped_;
    int32_t fronts = inputs_.oddPages;
    for (const PlannedPage& page : skipped_) {
        if (page.source == PageSource::Odd) --fronts;
    }
    // The backs in sheet order, each after the blanks anchored to it, then those at the end.
    int32_t at = 0;  // backs placed so far
    auto place = [&](size_t k) {
        // A blank back takes its front's size: past the last front there is none.
        if (at + 1 > fronts) return;
        arrangement.blankBacks.push_back(++at);
        if (anchorOfBlank != nullptr) anchorOfBlank->push_back(k);
    };
    for (int32_t k = 1; k <= inputs_.evenPages; ++k) {
        const int32_t page = arrangement.evenReversed ? inputs_.evenPages + 1 - k : k;
        for (size_t b = 0; b < blanks_.size(); ++b) {
            if (!blanks_[b].atEnd && blanks_[b].evenPage == page) place(b);
        }
        if (std::find(skipped_.begin(), skipped_.end(), PlannedPage{PageSource::Even, page}) ==
            skipped_.end()) {
            ++at;
        }
    }
    for (size_t b = 0; b < blanks_.size(); ++b) {
        if (blanks_[b].atEnd) place(b);
    }
    return arrangement;
}

StackArrangement TOrderPreview::Arrangement() const { return Compose(nullptr); }

bool TOrderPreview::Paired() const { return stack_.valid && stack_.paired && stack_.fronts > 0; }

std::vector<TSheetRow*> TOrderPreview::Rows() const {
    return {rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(rowsUsed_)};
}

std::vector<TPageTile*> TOrderPreview::Tiles() const {
    std::vector<TPageTile*> tiles;
    for (size_t k = 0; k < rowsUsed_; ++k) {
        for (TPageTile* tile : {&rows_[k]->Front, &rows_[k]->Back}) {
            if (tile->HasPage()) tiles.push_back(tile);
        }
    }
    return tiles;
}

std::vector<TSheetRow*> TOrderPreview::RowsInView() const {
    std::vector<TSheetRow*> rows;
    if (!isVisible()) {
        // Not laid out yet: the rows it opens with.
        for (size_t k = 0; k < rowsUsed_ && k < static_cast<size_t>(kRowsInView); ++k)
            rows.push_back(rows_[k]);
        return rows;
    }
    const int height = rows_.front()->height();
    const int top = Sheets.verticalScrollBar()->value();
    const int bottom = top + Sheets.viewport()->height();
    for (size_t k = static_cast<size_t>(top / height); k < rowsUsed_; ++k) {
        if (static_cast<int64_t>(k) * height >= bottom) break;
        rows.push_back(rows_[k]);
    }
    return rows;
}

bool TOrderPreview::AllPicturesIn() const {
    for (const TSheetRow* row : RowsInView()) {
        for (const TPageTile* tile : {&row->Front, &row->Back}) {
            if (tile->PictureState() == TPageTile::State::Waiting) return false;
        }
    }
    return true;
}

void TOrderPreview::SkipPage(PlannedPage page) {
    // Only a page of a pass: a blank back is removed, an empty slot has nothing to leave out.
    if (page.source == PageSource::Blank || page.page < 1) return;
    if (std::find(skipped_.begin(), skipped_.end(), page) == skipped_.end())
        skipped_.push_back({page.source, page.page});
    Rebuild();
}

void TOrderPreview::PutBlankBack(const TPageTile& slot) {
    // Before the back it pushes on, or after the last when the sheet has none.
    if (slot.HasPage() && slot.Page().source == PageSource::Even) {
        blanks_.push_back({false, slot.Page().page});
    } else if (!slot.HasPage()) {
        blanks_.push_back({true, 0});
    } else {
        return;
    }
    Rebuild();
}

void TOrderPreview::RemoveBlankBack(int32_t sheet) {
    // The k-th blank back of the order is the k-th anchor placed.
    size_t k = 0;
    for (const PlannedPage& page : stack_.order) {
        if (page.source != PageSource::Blank) continue;
        if (page.sheet == sheet) {
            if (k < anchorOfBlank_.size()) {
                blanks_.erase(blanks_.begin() + static_cast<std::ptrdiff_t>(anchorOfBlank_[k]));
                Rebuild();
            }
            return;
        }
        ++k;
    }
}

void TOrderPreview::Rebuild() {
    anchorOfBlank_.clear();
    stack_ = ArrangeStack(inputs_.oddPages, inputs_.evenPages, Compose(&anchorOfBlank_));
    const size_t sheets =
        stack_.valid ? static_cast<size_t>(std::max(stack_.fronts, stack_.backs)) : 0;
    auto* layout = static_cast<QVBoxLayout*>(list_->layout());
    // Rows are kept and shown again, not made anew: a 1000-sheet stack is mended at once.
    while (rows_.size() < std::max<size_t>(sheets, 1)) {
        auto* row = new TSheetRow(list_);
        const int32_t index = static_cast<int32_t>(rows_.size());
        TSheetRow* self = row;
        connect(&row->Front.LeaveOutBox, &QCheckBox::clicked, this, [this, self](bool on) {
            if (on && self->Front.HasPage()) SkipPage(self->Front.Page());
        });
        connect(&row->Back.LeaveOutBox, &QCheckBox::clicked, this, [this, self](bool on) {
            if (on && self->Back.HasPage()) SkipPage(self->Back.Page());
        });
        connect(&row->Back.BlankHereButton, &QPushButton::clicked, this,
                [this, self] { PutBlankBack(self->Back); });
        connect(&row->Back.RemoveButton, &QPushButton::clicked, this,
                [this, index] { RemoveBlankBack(index + 1); });
        layout->insertWidget(static_cast<int>(rows_.size()), row);
        rows_.push_back(row);
    }
    rowsUsed_ = sheets;
    for (size_t k = 0; k < rows_.size(); ++k) {
        rows_[k]->setVisible(k < sheets);
        if (k >= sheets) continue;
        rows_[k]->Title.setText(Tr(kSheetTitle).arg(static_cast<int>(k + 1)));
        rows_[k]->Front.ShowEmpty();
        rows_[k]->Back.ShowEmpty();
    }
    // A blank back goes after the last back: only the first sheet without one offers it.
    for (size_t k = 0; k < sheets; ++k) {
        if (k != static_cast<size_t>(stack_.backs)) rows_[k]->Back.BlankHereButton.hide();
    }
    int32_t dropped = 0;
    for (const PlannedPage& page : stack_.order) {
        if (page.sheet < 1 || static_cast<size_t>(page.sheet) > sheets) continue;
        TSheetRow* row = rows_[static_cast<size_t>(page.sheet - 1)];
        const bool isDropped = page.source != PageSource::Blank &&
                               std::find(inputs_.dropped.begin(), inputs_.dropped.end(), page) !=
                                   inputs_.dropped.end();
        if (isDropped) ++dropped;
        TPageTile& tile = page.source == PageSource::Odd ? row->Front : row->Back;
        tile.ShowPage(page, isDropped);
        const PlannedPage drawnAs =
            page.source == PageSource::Blank ? PlannedPage{PageSource::Odd, page.page} : page;
        const auto known = pictures_.find(Key(drawnAs));
        if (known != pictures_.end()) tile.SetPicture(known->second);
    }

    if (Paired()) {
        // The count the merge writes: the pages left out as blank are not in it.
        QString summary = Tr(kSummary, static_cast<int>(stack_.order.size()) - dropped);
        if (dropped > 0) summary += Tr(kDroppedSummary, dropped);
        Summary.setText(summary);
    } else {
        Summary.setText(
            Tr(kUnpaired).arg(Tr(kFrontsCount, stack_.fronts)).arg(Tr(kBacksCount, stack_.backs)));
    }
    MergeButton.setEnabled(Paired());

    QStringList names;
    for (const PlannedPage& page : skipped_) names.append(PageLabel(page));
    LeftOutLine.setText(Tr(kLeftOutLine).arg(names.join(Tr(kListSeparator))));
    LeftOutLine.setVisible(!skipped_.empty());
    RestoreButton.setVisible(!skipped_.empty());
    // The rows where they now lie, for the rows in view.
    list_->layout()->activate();
    RequestInView();
}

void TOrderPreview::RequestInView() {
    std::vector<PlannedPage> wanted;
    for (const TSheetRow* row : RowsInView()) {
        for (const TPageTile* tile : {&row->Front, &row->Back}) {
            if (tile->PictureState() != TPageTile::State::Waiting) continue;
            PlannedPage page = tile->Page();
            page.rotate = 0;
            if (std::find(wanted.begin(), wanted.end(), page) == wanted.end())
                wanted.push_back(page);
        }
    }
    for (const PlannedPage& page : wanted) asked_.insert(Key(page));
    const qreal ratio = devicePixelRatioF();
    // Always asked, even for nothing: what scrolled out of view is dropped.
    renderer_.Request(wanted, QSize(qRound(kPictureWidth * ratio), qRound(kPictureHeight * ratio)));
    if (wanted.empty()) emit PicturesIn();
}

void TOrderPreview::TakePicture(PlannedPage page, const QImage& image) {
    pictures_[Key(page)] = image;
    bool placed = false;
    // By the page it shows, not by the tile it was asked for: a box or a mend may have
    // moved the page (or taken it out of view) since. A front's picture sizes its sheet's
    // blank back too.
    for (size_t k = 0; k < rowsUsed_; ++k) {
        for (TPageTile* tile : {&rows_[k]->Front, &rows_[k]->Back}) {
            if (tile->PictureState() == TPageTile::State::Empty) continue;
            const PlannedPage shown = tile->Page();
            const bool same =
                shown == page || (shown.source == PageSource::Blank &&
                                  page.source == PageSource::Odd && shown.page == page.page);
            if (!same) continue;
            tile->SetPicture(image);
            placed = true;
        }
    }
    if (placed && AllPicturesIn()) emit PicturesIn();
}

bool TOrderPreview::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Sheets.viewport() || watched == list_) && event->type() == QEvent::Resize)
        RequestInView();
    return QDialog::eventFilter(watched, event);
}

void TOrderPreview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RequestInView();
}

}  // namespace verava
