// A Doc as the handheld shows it: its text, the Palm character set shown as
// Unicode, beside its bookmarks, each of which moves the text to its place.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "doc/compression_library.h"
#include "text/bookmark_marks.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace lum2::ui {

// What a preview shows of a Doc file.
struct PreviewContent {
    QString text;  // every byte of the text as the Palm character it is
    std::vector<Bookmark> bookmarks;
    QString failure;  // why the file shows nothing: the reader's status and cause
};

// Reads the Doc at palmPath (a regular file only). Throws nothing but
// std::bad_alloc.
PreviewContent LoadPreview(const std::string& palmPath, const CodecFunctions& codec);

class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    // A window of its own, read-only, deleted when closed.
    PreviewWindow(const QString& title, const PreviewContent& content, QWidget* parent = nullptr);

    QPlainTextEdit* TextView() const { return text_; }
    QListWidget* BookmarkList() const { return bookmarks_; }
    // Moves the text to bookmark row (0-based) of the list, at its top.
    void JumpTo(int row);

private:
    QPlainTextEdit* text_;
    QListWidget* bookmarks_;
    QLabel* status_;
    std::vector<int> positions_;  // each bookmark's place in the text
};

}  // namespace lum2::ui
