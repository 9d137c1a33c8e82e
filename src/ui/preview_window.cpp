#include "ui/preview_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/file_handle.h"
#include "base/printable_text.h"
#include "base/progress_sink.h"
#include "base/safe_file.h"
#include "doc/bookmark_records.h"
#include "doc/doc_extractor.h"
#include "text/palm_charset.h"

namespace lum2::ui {

namespace {

// The text in memory, as the reader writes it to a file.
class MemoryText {
public:
    MemoryText() : file_(open_memstream(&data_, &size_)) {}
    ~MemoryText() {
        if (file_ != nullptr) std::fclose(file_);
        std::free(data_);
    }
    MemoryText(const MemoryText&) = delete;
    MemoryText& operator=(const MemoryText&) = delete;

    std::FILE* File() const { return file_; }
    // Ends the writing; the bytes stay until the object goes.
    std::string_view Close() {
        if (file_ != nullptr && std::fclose(file_) != 0) size_ = 0;
        file_ = nullptr;
        return {data_ != nullptr ? data_ : "", size_};
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

QString FromPalm(std::string_view palm) {
    std::string utf8;
    AppendUtf8FromPalm(palm, utf8);
    return QString::fromStdString(utf8);
}

QString Failure(const Outcome& outcome) {
    const std::string text = outcome.cause.empty() ? outcome.status : outcome.status + " (" + outcome.cause + ")";
    return QString::fromStdString(PrintableText(text));
}

}  // namespace

PreviewContent LoadPreview(const std::string& palmPath, const CodecFunctions& codec) {
    PreviewContent content;
    std::string cause;
    FileHandle doc(OpenRegularStream(palmPath, cause));
    if (!doc) {
        content.failure = QString::fromStdString(PrintableText(cause));
        return content;
    }
    MemoryText text;
    if (text.File() == nullptr) {
        content.failure = "no memory for the text";
        return content;
    }
    // The handheld shows the bytes as the Palm set, whatever they were
    // meant to be, so they are decoded as they stand and converted here.
    ProgressSink quiet;
    const Outcome extracted = ExtractDocText(doc.get(), text.File(), codec, quiet);
    if (!extracted.Ok()) {
        content.failure = Failure(extracted);
        return content;
    }
    content.text = FromPalm(text.Close());
    // The text reads without its bookmarks, so a list that cannot be read
    // leaves the list empty and the text as it is.
    if (std::fseek(doc.get(), 0, SEEK_SET) == 0) ReadDocBookmarks(doc.get(), content.bookmarks);
    return content;
}

PreviewWindow::PreviewWindow(const QString& title, const PreviewContent& content, QWidget* parent)
    : QWidget(parent, Qt::Window),
      text_(new QPlainTextEdit(this)),
      bookmarks_(new QListWidget(this)),
      status_(new QLabel(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setObjectName("frm_preview");
    text_->setObjectName("txt_preview");
    bookmarks_->setObjectName("lst_bookmarks");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setPlainText(content.text);
    // Each byte of the text is one Palm character, which is one UTF-16 unit,
    // so a bookmark's offset is its place in the shown text.
    const int length = static_cast<int>(content.text.size());
    for (const Bookmark& bookmark : content.bookmarks) {
        auto* item = new QListWidgetItem(FromPalm(bookmark.name), bookmarks_);
        item->setToolTip(QString("at character %1").arg(bookmark.offset));
        positions_.push_back(static_cast<int>(std::min<uint32_t>(bookmark.offset, static_cast<uint32_t>(length))));
    }
    if (!content.failure.isEmpty()) {
        status_->setText(content.failure);
    } else {
        status_->setText(QString("%1 characters, %2 bookmarks").arg(length).arg(content.bookmarks.size()));
    }

    auto* splitter = new QSplitter(this);
    splitter->addWidget(bookmarks_);
    splitter->addWidget(text_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({160, 340});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(status_);
    resize(560, 480);

    connect(bookmarks_, &QListWidget::currentRowChanged, this, &PreviewWindow::JumpTo);
    connect(bookmarks_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        JumpTo(bookmarks_->row(item));
    });
}

void PreviewWindow::JumpTo(int row) {
    if (row < 0 || row >= static_cast<int>(positions_.size())) return;
    QTextCursor cursor = text_->textCursor();
    cursor.setPosition(positions_[static_cast<std::size_t>(row)]);
    text_->setTextCursor(cursor);
    // The bookmark's line at the top, as the handheld opens it: from the
    // end, the view scrolls back just until the cursor shows.
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
    text_->ensureCursorVisible();
}

}  // namespace lum2::ui
