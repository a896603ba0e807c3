#include "app/gui/page_thumbnails.h"

#include <poppler-qt6.h>

#include <QByteArray>
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "security/password_forms.h"

namespace verava {
namespace {

// Poppler takes a password as the bytes to hash. Our engine opened the file with one of the
// byte forms of the typed password (PDFDocEncoding, GBK, UTF-8, ...), so poppler is given
// the same forms in the same order; the first that unlocks the file wins.
std::vector<QByteArray> PasswordBytes(const QString& password) {
    std::vector<QByteArray> forms;
    if (password.isEmpty()) return {QByteArray()};
    const std::u16string typed = password.toStdU16String();
    std::vector<std::string> all = LegacyPasswordForms(typed);
    for (std::string& form : Utf8PasswordForms(typed)) all.push_back(std::move(form));
    for (const std::string& form : all) {
        QByteArray bytes(form.data(), static_cast<qsizetype>(form.size()));
        if (std::find(forms.begin(), forms.end(), bytes) == forms.end()) forms.push_back(bytes);
    }
    return forms;
}

// The input opened and unlocked, or null when poppler cannot open it. Poppler reads the
// bytes where they are; the renderer keeps them as long as the document.
std::unique_ptr<Poppler::Document> Open(const ThumbnailInput& input) {
    if (input.bytes.empty()) return nullptr;
    std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(
        QByteArray::fromRawData(input.bytes.data(), static_cast<qsizetype>(input.bytes.size())));
    if (document == nullptr) return nullptr;
    if (document->isLocked()) {
        // The typed password may be the owner's or the user's; poppler checks the owner's
        // first, so each form goes in both places.
        for (const QByteArray& bytes : PasswordBytes(input.password)) {
            document->unlock(bytes, bytes);
            if (!document->isLocked()) break;
        }
        if (document->isLocked()) return nullptr;
    }
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    return document;
}

QImage Draw(const Poppler::Document* document, int32_t pageNumber, QSize box) {
    if (document == nullptr || pageNumber < 1 || pageNumber > document->numPages()) return {};
    const std::unique_ptr<Poppler::Page> page = document->page(pageNumber - 1);
    if (page == nullptr) return {};
    const double scale = FitScale(page->pageSizeF(), box);
    if (scale <= 0) return {};
    const double dpi = 72.0 * scale;
    QImage image = page->renderToImage(dpi, dpi);
    if (image.isNull() || image.width() < 1 || image.height() < 1) return {};
    // Poppler rounds the size up: a pixel too many must not grow the tile.
    if (image.width() > box.width() || image.height() > box.height()) {
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

}  // namespace

double FitScale(QSizeF points, QSize box) {
    if (!(points.width() > 0) || !(points.height() > 0) || box.isEmpty()) return 0;
    return std::min(box.width() / points.width(), box.height() / points.height());
}

TThumbnailRenderer::TThumbnailRenderer(ThumbnailInput odd, ThumbnailInput even, QObject* parent)
    : QObject(parent), inputs_{std::move(odd), std::move(even)} {
    thread_.reset(QThread::create([this] { Work(); }));
    thread_->start();
}

TThumbnailRenderer::~TThumbnailRenderer() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    thread_->wait();
}

void TThumbnailRenderer::Request(const std::vector<PlannedPage>& pages, QSize box) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.assign(pages.begin(), pages.end());
        box_ = box;
    }
    wake_.notify_all();
}

void TThumbnailRenderer::Work() {
    // Opened on first use, here only: the window shows its placeholders meanwhile.
    std::unique_ptr<Poppler::Document> documents[2];
    bool tried[2] = {false, false};
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        const PlannedPage page = queue_.front();
        queue_.pop_front();
        const QSize box = box_;
        lock.unlock();
        const int input = page.source == PageSource::Odd ? 0 : 1;
        QImage image;
        try {
            // The backs of a collated file: the fronts' opening serves, its pages further on.
            const bool shared = input == 1 && !inputs_[1].bytes.empty() &&
                                inputs_[1].bytes.data() == inputs_[0].bytes.data() &&
                                inputs_[1].password == inputs_[0].password;
            const int opened = shared ? 0 : input;
            if (!tried[opened]) {
                tried[opened] = true;
                documents[opened] = Open(inputs_[opened]);
            }
            const Poppler::Document* document = documents[opened].get();
            const int64_t filePage = static_cast<int64_t>(inputs_[input].firstPage) - 1 + page.page;
            image = filePage >= 1 && filePage <= INT32_MAX
                        ? Draw(document, static_cast<int32_t>(filePage), box)
                        : QImage();
        } catch (...) {
            // Out of memory on a huge page, say: that page stays an empty frame.
            image = QImage();
        }
        // Queued to the receivers on the window's thread.
        emit Drawn(page, image);
        lock.lock();
    }
}

}  // namespace verava
