#include "app/gui/order_preview.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPalette>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/run_messages.h"

namespace verava {
namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("VERava", "预览顺序");
const char* const kSummary = QT_TRANSLATE_N_NOOP("VERava", "合并后共%n页");
const char* const kLeftOut = QT_TRANSLATE_N_NOOP("VERava", "%n页未显示");
const char* const kDroppedSummary = QT_TRANSLATE_N_NOOP("VERava", "（删除%n页空白页）");
const char* const kDroppedLabel = QT_TRANSLATE_NOOP("VERava", "%1 删除");
// Each with a key of its own: Alt and the letter (Enter merges, Esc closes).
const char* const kEvenReversedCaption = QT_TRANSLATE_NOOP("VERava", "偶数页为倒序扫描(&L)");
const char* const kMergeCaption = QT_TRANSLATE_NOOP("VERava", "合并(&M)");
const char* const kCloseCaption = QT_TRANSLATE_NOOP("VERava", "关闭(&C)");

QString Tr(const char* source, int n = -1) {
    return QCoreApplication::translate("VERava", source, nullptr, n);
}

// Room for a portrait page of A4 or letter shape, in logical pixels; the picture is drawn
// at the screen's pixel density.
constexpr int kPictureWidth = 76;
constexpr int kPictureHeight = 108;
// The first pages shown, then the last ones.
constexpr size_t kHead = 6;
constexpr size_t kTail = 2;

}  // namespace

std::vector<size_t> ShownPositions(size_t pages) {
    std::vector<size_t> shown;
    for (size_t i = 0; i < pages; ++i) {
        if (pages <= kHead + kTail || i < kHead || i >= pages - kTail) shown.push_back(i);
    }
    return shown;
}

TPageTile::TPageTile(QWidget* parent) : QWidget(parent), picture_(this), label_(this) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    picture_.setFrameShape(QFrame::Box);
    picture_.setLineWidth(1);
    picture_.setAlignment(Qt::AlignCenter);
    picture_.setFixedSize(kPictureWidth + 2, kPictureHeight + 2);
    picture_.setAutoFillBackground(true);
    label_.setAlignment(Qt::AlignCenter);
    layout->addWidget(&picture_, 0, Qt::AlignHCenter);
    layout->addWidget(&label_, 0, Qt::AlignHCenter);
    ShowPage(PlannedPage());
}

void TPageTile::ShowPage(PlannedPage page, bool dropped) {
    page_ = page;
    dropped_ = dropped;
    state_ = State::Waiting;
    image_ = QImage();
    QString label = page.page > 0 ? PageLabel(page) : QString();
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
    // A grey placeholder until the picture comes.
    QPalette colours = picture_.palette();
    colours.setColor(QPalette::Window, palette().color(QPalette::Midlight));
    picture_.setPalette(colours);
}

void TPageTile::SetPicture(const QImage& image) {
    QPalette colours = picture_.palette();
    colours.setColor(QPalette::Window, Qt::white);
    picture_.setPalette(colours);
    if (image.isNull()) {
        // Poppler could not draw it: an empty frame, the label still says which page it is.
        state_ = State::Undrawable;
        image_ = QImage();
        picture_.clear();
        return;
    }
    state_ = State::Drawn;
    image_ = image;
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    picture_.setPixmap(pixmap);
}

TOrderPreview::TOrderPreview(PreviewInputs inputs, bool evenReversed, QWidget* parent)
    : QDialog(parent), inputs_(std::move(inputs)), renderer_(inputs_.odd, inputs_.even) {
    setWindowTitle(Tr(kTitle));
    setWindowModality(Qt::WindowModal);

    const int32_t total = std::max(inputs_.oddPages, 0) + std::max(inputs_.evenPages, 0);
    // The count the merge writes: the pages left out are not in it.
    const auto dropped = static_cast<int32_t>(inputs_.dropped.size());
    QString summary = Tr(kSummary, total - dropped);
    if (dropped > 0) summary += Tr(kDroppedSummary, dropped);
    Summary.setText(summary);

    auto* pages = new QHBoxLayout;
    pages->setSpacing(8);
    const std::vector<size_t> shown = ShownPositions(static_cast<size_t>(total));
    for (size_t i = 0; i < shown.size(); ++i) {
        if (i > 0 && shown[i] != shown[i - 1] + 1) {
            // The pages left out: a dotted line across the gap and how many there are.
            gap_ = new QFrame(this);
            auto* gapLayout = new QVBoxLayout(gap_);
            gapLayout->setContentsMargins(0, 0, 0, 0);
            auto* dots = new QLabel(QStringLiteral("\u22EF"), gap_);
            dots->setAlignment(Qt::AlignCenter);
            QFont large = dots->font();
            large.setPixelSize(24);
            dots->setFont(large);
            gapLabel_ =
                new QLabel(Tr(kLeftOut, static_cast<int>(shown[i] - shown[i - 1] - 1)), gap_);
            gapLabel_->setAlignment(Qt::AlignCenter);
            gapLabel_->setWordWrap(true);
            gapLayout->addStretch();
            gapLayout->addWidget(dots);
            gapLayout->addWidget(gapLabel_);
            gapLayout->addStretch();
            gap_->setFixedWidth(kPictureWidth);
            pages->addWidget(gap_);
        }
        auto* tile = new TPageTile(this);
        tiles_.push_back(tile);
        pages->addWidget(tile);
    }

    EvenReversedBox.setText(Tr(kEvenReversedCaption));
    EvenReversedBox.setChecked(evenReversed);
    MergeButton.setText(Tr(kMergeCaption));
    MergeButton.setDefault(true);
    CloseButton.setText(Tr(kCloseCaption));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(&EvenReversedBox);
    buttons->addStretch();
    buttons->addWidget(&MergeButton);
    buttons->addWidget(&CloseButton);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(&Summary);
    layout->addLayout(pages);
    layout->addLayout(buttons);

    connect(&EvenReversedBox, &QCheckBox::toggled, this, &TOrderPreview::Replan);
    connect(&MergeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(&CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(&renderer_, &TThumbnailRenderer::Drawn, this, &TOrderPreview::TakePicture);
    Replan();
}

TOrderPreview::~TOrderPreview() = default;

int32_t TOrderPreview::LeftOut() const {
    return static_cast<int32_t>(order_.size() - tiles_.size());
}

bool TOrderPreview::AllPicturesIn() const {
    return std::none_of(tiles_.begin(), tiles_.end(), [](const TPageTile* tile) {
        return tile->PictureState() == TPageTile::State::Waiting;
    });
}

void TOrderPreview::Replan() {
    order_ = InterleavedOrder(inputs_.oddPages, inputs_.evenPages, EvenReversedBox.isChecked());
    const std::vector<size_t> shown = ShownPositions(order_.size());
    std::vector<PlannedPage> wanted;
    for (size_t i = 0; i < tiles_.size() && i < shown.size(); ++i) {
        const PlannedPage page = order_[shown[i]];
        tiles_[i]->ShowPage(page, std::find(inputs_.dropped.begin(), inputs_.dropped.end(), page) !=
                                      inputs_.dropped.end());
        const auto known = pictures_.find(Key(page));
        if (known != pictures_.end()) {
            tiles_[i]->SetPicture(known->second);
        } else {
            wanted.push_back(page);
        }
    }
    const qreal ratio = devicePixelRatioF();
    // Always asked, even for nothing: what an earlier plan still wanted is dropped.
    renderer_.Request(wanted, QSize(qRound(kPictureWidth * ratio), qRound(kPictureHeight * ratio)));
    if (wanted.empty()) emit PicturesIn();
}

void TOrderPreview::TakePicture(PlannedPage page, const QImage& image) {
    pictures_[Key(page)] = image;
    bool placed = false;
    // By the page it shows, not by the tile it was asked for: the check box may have moved
    // the page (or taken it off the preview) since.
    for (TPageTile* tile : tiles_) {
        if (tile->Page() == page && tile->PictureState() == TPageTile::State::Waiting) {
            tile->SetPicture(image);
            placed = true;
        }
    }
    if (placed && AllPicturesIn()) emit PicturesIn();
}

}  // namespace verava
