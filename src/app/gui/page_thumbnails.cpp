#include "app/gui/page_thumbnails.h"

#include <poppler-qt6.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/brannock.h"
#include "merge/merge_input.h"
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

// The file poppler is to draw from: the input itself, or, when our loader had to repair it or
// rebuild its page tree, a copy our engine writes of it at `copyPath` (empty when that
// fails). Poppler mends a damaged file in its own way, and its page n need not be the page
// our engine, and so the merge, takes as page n: a lost page our loader puts back as a blank
// one is skipped by poppler, which then shows the next page in its place.
QString FileToDraw(const ThumbnailInput& input, const QString& copyPath) {
    TVelmorPDFLibrary engine;
    if (engine.OpenFile(input.path.toStdU16String(), input.password.toStdU16String()) != 1) {
        return input.path;  // changed since it was planned: poppler may still read it
    }
    // The merge's own rule for when an input is read from the loader's copy.
    if (!TMergeInput(*engine.CurrentDocument).Mended()) return input.path;
    if (copyPath.isEmpty() || engine.WriteToFile(copyPath.toStdU16String()) != 1) return QString();
    return copyPath;
}

// The file opened and unlocked, or null when poppler cannot open it.
std::unique_ptr<Poppler::Document> Open(const QString& path, const ThumbnailInput& input) {
    if (path.isEmpty()) return nullptr;
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
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
    // Opened on first use, here only: the window shows its placeholders meanwhile. Copies of
    // damaged inputs live as long as the thread.
    QTemporaryDir copies;
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
            if (!tried[input]) {
                tried[input] = true;
                const QString copy = copies.isValid()
                                         ? copies.filePath(input == 0 ? QStringLiteral("odd.pdf")
                                                                      : QStringLiteral("even.pdf"))
                                         : QString();
                documents[input] = Open(FileToDraw(inputs_[input], copy), inputs_[input]);
            }
            image = Draw(documents[input].get(), page.page, box);
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
